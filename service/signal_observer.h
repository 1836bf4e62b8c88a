// SIGTERM and SIGINT ask for an orderly stop and nothing else.
//
// Threads: blockStopSignals() runs on the main thread before any other thread exists, so that
// every later thread inherits the mask and the signals stay pending for the observer. The
// observer's own thread sets Lifetime.stopping (under its lock); cancel() and the destructor run
// on the main thread.
#pragma once

#include <thread>

#include "core/lifetime.h"

namespace virelo {

class SignalObserver {
 public:
  // SIGPIPE ignored (a write to a closed socket fails instead of ending the process); SIGTERM and
  // SIGINT reset to their default action and blocked, to be read by the observer.
  static void blockStopSignals();

  // Starts observing at once. Throws FailureError(dispatchFailed) when its descriptors or its
  // thread cannot be created (too few descriptors, for instance); nothing is left running then.
  explicit SignalObserver(Lifetime& lifetime);
  ~SignalObserver();
  SignalObserver(const SignalObserver&) = delete;
  SignalObserver& operator=(const SignalObserver&) = delete;

  void cancel();

 private:
  void run();
  void closeDescriptors();

  Lifetime& lifetime_;
  int signalFd_ = -1;
  int cancelFd_ = -1;
  std::thread thread_;
};

}  // namespace virelo
