#include "line_socket.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace virelo::client {
namespace {

// Waits for `events` on the socket until the deadline; false when it passes.
bool await(int fd, short events, LineSocket::Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - LineSocket::Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

}  // namespace

bool LineSocket::fill() {
  char chunk[16384];
  for (;;) {
    const ssize_t n = ::recv(fd_.get(), chunk, sizeof chunk, 0);
    if (n > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(n));
      if (buffer_.size() > kLongestLine && buffer_.find('\n') == std::string::npos) return false;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

std::optional<std::string> LineSocket::nextLine() {
  const auto end = buffer_.find('\n');
  if (end == std::string::npos) return std::nullopt;
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  return line;
}

std::optional<std::string> LineSocket::readLine(Clock::time_point deadline) {
  for (;;) {
    if (auto line = nextLine()) return line;
    if (!await(fd_.get(), POLLIN, deadline)) return std::nullopt;
    const bool open = fill();
    if (auto line = nextLine()) return line;
    if (!open) return std::nullopt;
  }
}

bool LineSocket::write(std::string_view text, Clock::time_point deadline) {
  while (!text.empty()) {
    const ssize_t n = ::send(fd_.get(), text.data(), text.size(), MSG_NOSIGNAL);
    if (n > 0) {
      text.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!await(fd_.get(), POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace virelo::client
