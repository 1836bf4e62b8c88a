#include "service/connection_service.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "service/failure.h"
#include "service/socket_server.h"

namespace virelo {
namespace {

nlohmann::json protocolErrorReply(const Bridge& bridge) {
  return {{"ok", false},
          {"ready", bridge.ready()},
          {"backend", rawValue(bridge.backend())},
          {"error", errors::protocolError}};
}

}  // namespace

ConnectionService::ConnectionService(Bridge& bridge, std::string token, Clock clock)
    : bridge_(bridge), token_(std::move(token)), clock_(std::move(clock)) {}

void ConnectionService::acceptOne(int listenFd) {
  int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (bridge_.owners().size() > kMaxClients - 1) {
    ::close(fd);
    return;
  }
  ucred peer{};
  socklen_t length = sizeof(peer);
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid() ||
      ::fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
    ::close(fd);
    return;
  }
  bridge_.owners().emplace(fd, Owner(clock_()));
}

void ConnectionService::drop(int fd) {
  if (bridge_.owners().erase(fd) != 0) ::close(fd);
  bridge_.held();
  bridge_.pointing(0, 0, 0, std::nullopt, false);
}

void ConnectionService::serve(int fd, short revents) {
  auto it = bridge_.owners().find(fd);
  if (it == bridge_.owners().end()) return;
  Owner& owner = it->second;
  if (!owner.authenticated && clock_() - owner.connectedAt > kAuthenticateNS) {
    drop(fd);
    return;
  }
  if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
    drop(fd);
    return;
  }
  if (!(revents & POLLIN)) return;
  std::array<char, kBufferSize> chunk{};
  ssize_t got = ::recv(fd, chunk.data(), chunk.size(), 0);
  if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
    drop(fd);
    return;
  }
  if (got < 0) return;
  owner.input.append(chunk.data(), static_cast<std::size_t>(got));
  if (owner.input.size() > kBufferSize) {
    drop(fd);
    return;
  }
  serveLines(fd);
}

void ConnectionService::serveLines(int fd) {
  for (int lines = 0;; ++lines) {
    // The record may be gone after a command (a prune inside the output can remove it).
    auto it = bridge_.owners().find(fd);
    if (it == bridge_.owners().end()) return;
    std::string& input = it->second.input;
    auto newline = input.find('\n');
    if (newline == std::string::npos) return;
    if (lines == kMaxLinesPerPass) {
      input.erase(0, newline + 1);
      drop(fd);
      return;
    }
    std::string line = input.substr(0, newline);
    input.erase(0, newline + 1);
    if (line.size() > kMaxLine) {
      drop(fd);
      return;
    }
    auto request = nlohmann::json::parse(line, nullptr, false);
    if (!request.is_object()) {
      reply(fd, protocolErrorReply(bridge_));
      drop(fd);
      return;
    }
    nlohmann::json answer;
    try {
      answer = bridge_.command(request, fd, token_);
    } catch (const FailureError& e) {
      if (e.failure() != Failure::protocolError) throw;
      reply(fd, protocolErrorReply(bridge_));
      drop(fd);
      return;
    }
    // A dead-client test inside the output may have closed the socket meanwhile; its number may
    // already belong to another descriptor, so nothing more is sent on it.
    if (bridge_.owners().count(fd) == 0) return;
    if (!reply(fd, answer)) {
      drop(fd);
      return;
    }
  }
}

}  // namespace virelo
