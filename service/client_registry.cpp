#include "service/client_registry.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace virelo {

ClientRegistry::ClientRegistry(Bridge& bridge, int parentFd)
    : bridge_(bridge), parentFd_(parentFd) {
  bridge_.watchClients(this);
}

ClientRegistry::~ClientRegistry() {
  bridge_.watchClients(nullptr);
  closeAll();
}

void ClientRegistry::admit(int fd, std::uint64_t now) {
  clients_.emplace(fd, ClientConnection(now));
  bridge_.addClient(fd);
}

void ClientRegistry::close(int fd, Bridge::Release release) {
  if (clients_.erase(fd) != 0) ::close(fd);
  bridge_.removeClient(fd, release);
}

void ClientRegistry::closeAll() {
  for (const auto& [fd, client] : clients_) ::close(fd);
  clients_.clear();
}

ClientConnection* ClientRegistry::find(int fd) {
  auto it = clients_.find(fd);
  return it == clients_.end() ? nullptr : &it->second;
}

CommandReply ClientRegistry::command(int fd, const CommandRequest& request,
                                     std::string_view token) {
  ClientConnection* client = find(fd);
  if (client == nullptr || client->authenticated) return bridge_.command(request, fd);
  CommandReply reply = bridge_.hello(request, token);
  client->authenticated = true;
  return reply;
}

void ClientRegistry::pruneDisconnected() {
  pollAndPrune(false);
}

bool ClientRegistry::check() {
  return pollAndPrune(parentFd_ >= 0);
}

bool ClientRegistry::pollAndPrune(bool parent) {
  // One poll with zero timeout: the parent's channel first when the stop check asks for it, then
  // every client. Readable data on the parent's channel is not a stop; a hang-up or an error is,
  // and it is acted on before any client is looked at, as if the channel had been polled alone.
  std::array<pollfd, 1 + kMaxPolled> fds{};
  std::size_t n = 0;
  if (parent) fds[n++] = {parentFd_, POLLIN, 0};
  const std::size_t firstClient = n;
  for (const auto& [fd, client] : clients_) {
    if (n == fds.size()) break;
    fds[n++] = {fd, POLLIN, 0};
  }
  if (n == 0) return true;
  int ready;
  do {
    ready = ::poll(fds.data(), n, 0);
  } while (ready < 0 && errno == EINTR);
  if (parent && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
  // The dead-client test: an error condition, or else a peek that finds the end of the stream.
  std::array<int, kMaxPolled> dead{};
  std::size_t deadCount = 0;
  for (std::size_t i = firstClient; i < n; ++i) {
    if ((fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) ||
        ((fds[i].revents & POLLIN) && peekFindsEnd(fds[i].fd, clients_.at(fds[i].fd)))) {
      dead[deadCount++] = fds[i].fd;
    }
  }
  for (std::size_t i = 0; i < deadCount; ++i) close(dead[i], Bridge::Release::pending);
  return true;
}

bool ClientRegistry::peekFindsEnd(int fd, ClientConnection& client) {
  // Bytes an earlier peek found are still waiting until the next receive: the client is alive,
  // and the peek is skipped. A peek that only finds it has to wait means alive too.
  if (client.bytesWaiting) return false;
  char byte;
  ssize_t got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (got > 0) {
    client.bytesWaiting = true;
    return false;
  }
  return got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
}

}  // namespace virelo
