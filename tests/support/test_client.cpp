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

}  // namespace

int connectUnix(const std::string& socketPath) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof(addr.sun_path)) {
    ::close(fd);
    throw std::runtime_error("path too long");
  }
  std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    int e = errno;
    ::close(fd);
    throw std::runtime_error(std::string("connect: ") + std::strerror(e));
  }
  return fd;
}

TestClient::TestClient(const std::string& socketPath) : fd_(connectUnix(socketPath)) {}

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
  return reader_.readLine(fd_, timeout);
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
  return reader_.ended();
}

}  // namespace virelo::test
