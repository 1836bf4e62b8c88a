// SIGTERM and SIGINT ask for an orderly stop and nothing else: the stopping flag is set and the
// main loop is woken from its poll through wakeFd(). No signal handler runs: the signals stay
// blocked and are read from a signal descriptor on the observer's thread.
//
// Threads: blockStopSignals() runs on the main thread before any other thread exists, so that
// every later thread inherits the mask and the signals stay pending for the observer. The
// observer's own thread sets Lifetime.stopping (under its lock), then makes wakeFd() readable;
// wakeFd(), cancel() and the destructor are for the main thread.
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
  // Readable from the first stop signal on (never read, so it stays readable): a poll that
  // includes it returns at once on a stop.
  int wakeFd() const { return wakeFd_; }

 private:
  void run();
  void closeDescriptors();

  Lifetime& lifetime_;
  int signalFd_ = -1;
  int cancelFd_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;
};

}  // namespace virelo
