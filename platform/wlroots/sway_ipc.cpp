#include "platform/wlroots/sway_ipc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace virelo::wlroots {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeader = sizeof(kMagic) + 8;
// A tree of many windows stays far below this.
constexpr std::uint32_t kMaxReply = 16 << 20;

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Waits until the descriptor is ready for `events` before the deadline.
bool await(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

bool transfer(int fd, char* data, std::size_t size, bool sending, Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < size) {
    if (!await(fd, sending ? POLLOUT : POLLIN, deadline)) return false;
    const ssize_t n = sending ? ::send(fd, data + done, size - done, MSG_NOSIGNAL)
                              : ::recv(fd, data + done, size - done, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return false;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  return true;
}

int connectTo(const std::string& path, Clock::time_point deadline) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return -1;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return fd;
  if ((errno == EINPROGRESS || errno == EAGAIN) && await(fd, POLLOUT, deadline)) {
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) return fd;
  }
  ::close(fd);
  return -1;
}

}  // namespace

std::optional<nlohmann::json> swayRequest(const std::string& socketPath, std::uint32_t type,
                                          std::chrono::milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  Socket socket(connectTo(socketPath, deadline));
  if (socket.fd() < 0) return std::nullopt;
  // Header: the magic, the payload's length and the type, in the host's byte order.
  char header[kHeader];
  std::memcpy(header, kMagic, sizeof(kMagic));
  const std::uint32_t request[2] = {0, type};
  std::memcpy(header + sizeof(kMagic), request, sizeof(request));
  if (!transfer(socket.fd(), header, kHeader, true, deadline)) return std::nullopt;
  if (!transfer(socket.fd(), header, kHeader, false, deadline)) return std::nullopt;
  std::uint32_t reply[2];
  std::memcpy(reply, header + sizeof(kMagic), sizeof(reply));
  if (std::memcmp(header, kMagic, sizeof(kMagic)) != 0 || reply[1] != type ||
      reply[0] > kMaxReply) {
    return std::nullopt;
  }
  std::string payload(reply[0], '\0');
  if (!transfer(socket.fd(), payload.data(), payload.size(), false, deadline)) return std::nullopt;
  auto parsed = nlohmann::json::parse(payload, nullptr, false);
  if (parsed.is_discarded()) return std::nullopt;
  return parsed;
}

}  // namespace virelo::wlroots
