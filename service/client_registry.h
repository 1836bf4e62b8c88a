// The connected clients as connections: each one's socket, the bytes received and not yet cut into
// lines, when it connected and whether it has authenticated. Admission and removal keep the
// bridge's per-client input state in step, and this is the one place that closes a client's
// socket. It is also the bridge's ClientCheck: the stop check on the parent's channel and the
// dead-client test, in one poll.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "bridge/bridge.h"

namespace virelo {

struct ClientConnection {
  explicit ClientConnection(std::uint64_t connectedAt) : connectedAt(connectedAt) {}

  std::string input;  // bytes received and not yet cut into lines
  // The dead-client test found bytes waiting in the socket. They stay there until the connection
  // layer receives again (and clears this), so until then a peek would find them again.
  bool bytesWaiting = false;
  bool authenticated = false;
  std::uint64_t connectedAt;
};

class ClientRegistry final : public ClientCheck {
 public:
  // Most clients the dead-client test looks at in one poll.
  static constexpr std::size_t kMaxPolled = 16;

  // Becomes the bridge's client check until destroyed. `parentFd` is the parent's liveness
  // channel (-1: none).
  ClientRegistry(Bridge& bridge, int parentFd);
  // Closes every client's socket.
  ~ClientRegistry();
  ClientRegistry(const ClientRegistry&) = delete;
  ClientRegistry& operator=(const ClientRegistry&) = delete;

  // A new client on `fd`, which this registry now owns.
  void admit(int fd, std::uint64_t now);
  // Closes the client's socket and removes it; the bridge releases its input as `release` says.
  void close(int fd, Bridge::Release release);
  // Closes every client's socket (the shutdown); nothing more is sent.
  void closeAll();

  // The client's connection, or nullptr when it is gone.
  ClientConnection* find(int fd);
  std::size_t size() const { return clients_.size(); }
  const std::map<int, ClientConnection>& all() const { return clients_; }

  // One command line of the client: the handshake while it has not authenticated, then the
  // bridge's commands. Throws like Bridge::command.
  CommandReply command(int fd, const CommandRequest& request, std::string_view token);

  // The dead-client test alone: removes the clients whose peer has gone (their release pending).
  void pruneDisconnected();
  // The stop check on the parent's channel, then the dead-client test: false when the parent's
  // channel has hung up or failed (no client is looked at then).
  bool check() override;

 private:
  // One poll over the parent's channel (when `parent`) and every client, then the dead-client
  // test; false when the parent's channel has hung up or failed.
  bool pollAndPrune(bool parent);
  // Whether the client that polled readable has gone: a peek finds the end of the stream.
  bool peekFindsEnd(int fd, ClientConnection& client);

  Bridge& bridge_;
  int parentFd_;
  std::map<int, ClientConnection> clients_;
};

}  // namespace virelo
