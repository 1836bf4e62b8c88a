// Admits clients, cuts their bytes into lines, hands each line to the bridge and sends the reply.
// A client that breaks a rule is dropped and whatever it held is released at once.
// Main thread only.
#pragma once

#include <array>
#include <string>

#include "bridge/bridge.h"
#include "service/client_registry.h"

namespace virelo {

class ConnectionService {
 public:
  static constexpr std::size_t kMaxClients = 4;
  static constexpr std::size_t kBufferSize = 4096;
  static constexpr std::size_t kMaxLine = 2048;
  static constexpr int kMaxLinesPerPass = 32;
  static constexpr std::uint64_t kAuthenticateNS = 2'000'000'000;
  // How long the listening socket rests after accept ran out of descriptors.
  static constexpr std::uint64_t kAcceptPauseNS = 100'000'000;

  // `clients` holds the connections and outlives this object.
  ConnectionService(Bridge& bridge, ClientRegistry& clients, std::string token, Clock clock);

  // Accepts one waiting connection (called when the listening socket is readable).
  void acceptOne(int listenFd);
  // Whether the listening socket is to be polled. Not after accept failed for want of
  // descriptors (the connection stays waiting and the socket readable), until a client has gone
  // or kAcceptPauseNS has passed.
  bool accepting() const;
  // Serves one client entry of this pass's poll set. When a command runs into the service's stop
  // (Bridge::stopped()), it is not answered and the client's further lines wait.
  void serve(int fd, short revents);
  // Removes the client, closes its socket and re-sends the merged state without it.
  void drop(int fd);

 private:
  void serveLines(int fd);
  // Sends the answer to one command; false when it did not go out whole.
  bool answer(int fd, CommandReply reply);

  Bridge& bridge_;
  ClientRegistry& clients_;
  std::string token_;
  Clock clock_;
  // Reused for every line and every receive, so that serving a command allocates nothing.
  CommandRequest request_;
  std::array<char, kBufferSize> chunk_;
  std::uint64_t acceptPausedUntil_ = 0;
  std::size_t clientsAtPause_ = 0;
};

}  // namespace virelo
