// What the bridge runs before each report it sends, after looking at the stopping flag: the stop
// check on the parent's channel and the dead-client test. The connection layer, which owns the
// client sockets, provides it; a client it finds gone leaves the bridge through
// Bridge::removeClient.
//
// Threads: main thread only.
#pragma once

namespace virelo {

class ClientCheck {
 public:
  // False when the parent's channel has hung up or failed: the parent has stopped the service, and
  // no client is looked at. Otherwise removes the clients whose peer has gone and returns true.
  virtual bool check() = 0;

 protected:
  ~ClientCheck() = default;
};

}  // namespace virelo
