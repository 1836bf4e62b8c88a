#include "service/connection_service.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "core/failure.h"
#include "service/socket_server.h"
#include "virelo/protocol/names.h"

namespace virelo {
namespace {

nlohmann::json protocolErrorReply(const Bridge& bridge) {
  return {{protocol::replies::ok, false},
          {protocol::replies::ready, bridge.ready()},
          {protocol::replies::backend, rawValue(bridge.backend())},
          {protocol::replies::error, errors::protocolError}};
}

}  // namespace

ConnectionService::ConnectionService(Bridge& bridge, ClientRegistry& clients, std::string token,
                                     Clock clock)
    : bridge_(bridge), clients_(clients), token_(std::move(token)), clock_(std::move(clock)) {}

void ConnectionService::acceptOne(int listenFd) {
  int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      acceptPausedUntil_ = clock_() + kAcceptPauseNS;
      clientsAtPause_ = clients_.size();
    }
    return;
  }
  acceptPausedUntil_ = 0;
  // A client that closed since this pass's prune still has its record: test again before the
  // limit refuses a newcomer in its place.
  if (clients_.size() > kMaxClients - 1) clients_.pruneDisconnected();
  if (clients_.size() > kMaxClients - 1) {
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
  clients_.admit(fd, clock_());
}

bool ConnectionService::accepting() const {
  return clock_() >= acceptPausedUntil_ || clients_.size() < clientsAtPause_;
}

void ConnectionService::drop(int fd) {
  clients_.close(fd, Bridge::Release::now);
}

void ConnectionService::serve(int fd, short revents) {
  ClientConnection* client = clients_.find(fd);
  if (client == nullptr) return;
  if (!client->authenticated && clock_() - client->connectedAt > kAuthenticateNS) {
    drop(fd);
    return;
  }
  if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
    drop(fd);
    return;
  }
  if (!(revents & POLLIN)) return;
  client->bytesWaiting = false;
  ssize_t got = ::recv(fd, chunk_.data(), chunk_.size(), 0);
  if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
    drop(fd);
    return;
  }
  if (got < 0) return;
  client->input.append(chunk_.data(), static_cast<std::size_t>(got));
  if (client->input.size() > kBufferSize) {
    drop(fd);
    return;
  }
  serveLines(fd);
}

void ConnectionService::serveLines(int fd) {
  for (int lines = 0;; ++lines) {
    // The record may be gone after a command (a prune inside the output can remove it).
    ClientConnection* client = clients_.find(fd);
    if (client == nullptr) return;
    std::string& input = client->input;
    auto newline = input.find('\n');
    if (newline == std::string::npos) return;
    if (lines == kMaxLinesPerPass) {
      input.erase(0, newline + 1);
      drop(fd);
      return;
    }
    if (newline > kMaxLine) {
      input.erase(0, newline + 1);
      drop(fd);
      return;
    }
    // Read in place, before the line leaves the buffer (the command may remove the record).
    bool isObject = request_.parse(std::string_view(input.data(), newline));
    input.erase(0, newline + 1);
    if (!isObject) {
      reply(fd, protocolErrorReply(bridge_));
      drop(fd);
      return;
    }
    CommandReply result;
    try {
      result = clients_.command(fd, request_, token_);
    } catch (const FailureError& e) {
      if (e.failure() != Failure::protocolError) throw;
      reply(fd, protocolErrorReply(bridge_));
      drop(fd);
      return;
    }
    // The service is stopping: the command is not answered, and no further line is read.
    if (bridge_.stopped()) return;
    // A dead-client test inside the output may have closed the socket meanwhile; its number may
    // already belong to another descriptor, so nothing more is sent on it.
    if (clients_.find(fd) == nullptr) return;
    if (!answer(fd, result)) {
      drop(fd);
      return;
    }
  }
}

bool ConnectionService::answer(int fd, CommandReply result) {
  switch (result) {
    case CommandReply::acknowledgement:
      return replyLine(fd, kAcknowledgementLine);
    case CommandReply::staleMotion:
      return replyLine(fd, kStaleMotionLine);
    case CommandReply::status:
      break;
  }
  return reply(fd, bridge_.status());
}

}  // namespace virelo
