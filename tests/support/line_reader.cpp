#include "tests/support/line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace virelo::test {

int remainingMs(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

std::optional<std::string> LineReader::readLine(int fd, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return line;
    }
    if (ended_) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, remainingMs(deadline)) == 0) return std::nullopt;
    char chunk[4096];
    ssize_t got = ::read(fd, chunk, sizeof(chunk));
    if (got > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      ended_ = true;
    }
  }
}

std::string LineReader::takeRest() {
  std::string rest;
  rest.swap(buffer_);
  return rest;
}

}  // namespace virelo::test
