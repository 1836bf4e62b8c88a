#include "tests/support/test_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace virelo::test {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

TestClient::TestClient(const std::string& socketPath) {
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof(addr.sun_path)) throw std::runtime_error("path too long");
  std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    int e = errno;
    ::close(fd_);
    fd_ = -1;
    throw std::runtime_error(std::string("connect: ") + std::strerror(e));
  }
}

TestClient::~TestClient() {
  close();
}

void TestClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TestClient::sendRaw(const std::string& bytes) {
  std::size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the service may already have closed the connection
    off += static_cast<std::size_t>(n);
  }
}

std::optional<std::string> TestClient::readLine(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  for (;;) {
    auto nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return line;
    }
    if (ended_) return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, remainingMs(deadline)) == 0) return std::nullopt;
    char chunk[4096];
    ssize_t got = ::recv(fd_, chunk, sizeof(chunk), 0);
    if (got > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      ended_ = true;
    }
  }
}

nlohmann::json TestClient::command(const nlohmann::json& object) {
  send(object);
  auto line = readLine();
  if (!line) throw std::runtime_error("no reply to " + object.dump());
  return nlohmann::json::parse(*line);
}

nlohmann::json TestClient::hello(const std::string& token) {
  return command({{"cmd", "hello"}, {"token", token}});
}

bool TestClient::closedByService(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (readLine(std::chrono::milliseconds(remainingMs(deadline)))) {
  }
  return ended_;
}

}  // namespace virelo::test
