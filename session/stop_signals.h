// SIGINT, SIGTERM and SIGHUP, blocked and read from a descriptor, so that a foreground command can
// watch for them in the same poll as its other descriptors and stop in order.
#pragma once

#include <chrono>

namespace virelo::session {

class StopSignals {
 public:
  // Blocks the three signals for the process (they stay blocked) and opens the descriptor.
  // Throws std::runtime_error when it cannot.
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  int fd() const { return fd_; }
  // True when a stop signal arrived within the timeout; the signal stays pending.
  bool wait(std::chrono::milliseconds timeout) const;
  bool pending() const { return wait(std::chrono::milliseconds(0)); }

 private:
  int fd_ = -1;
};

}  // namespace virelo::session
