// libatspi in this process, on the accessibility bus that the session bus names: started once,
// quietly (GLib's and libatspi's messages on standard error silenced) and without the
// subscriptions to the applications' events that a process without a GLib main loop never reads;
// started anew when that bus went away (it stopped or restarted). One per process, shared by
// every user of libatspi in it.
//
// Threads: only on the thread that uses libatspi.
#pragma once

#include <atspi/atspi.h>
#include <sys/time.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace virelo::atspi {

class AtspiConnection {
 public:
  static AtspiConnection& instance();

  // Starts libatspi when it has not started, and gives every request `timeout`. False when no
  // accessibility bus can be reached. Cheap: called before each request.
  bool ready(std::chrono::milliseconds timeout);
  // Starts libatspi anew when the bus it was started on went away; true when it did. Called
  // before a search, when no accessible of the old bus is in use.
  bool reconnectIfLost();
  // How many times libatspi was started anew: names on the bus met before belong to an old bus.
  std::uint64_t generation() const { return generation_; }
  // Binds the application of the accessible to the present bus when it is one that libatspi kept
  // from the bus before the last reconnection.
  void renew(AtspiAccessible* accessible);

 private:
  AtspiConnection() = default;
  bool busLost();

  bool started_ = false;
  std::uint64_t generation_ = 0;
  // When libatspi was last started anew on a restarted bus.
  std::optional<timeval> reconnectedAt_;
};

// The name on the accessibility bus of the application that the accessible belongs to; empty when
// unknown.
inline std::string busNameOf(AtspiAccessible* accessible) {
  const AtspiApplication* app = accessible->parent.app;
  return app != nullptr && app->bus_name != nullptr ? app->bus_name : "";
}

}  // namespace virelo::atspi
