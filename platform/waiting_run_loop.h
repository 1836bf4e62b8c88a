// The run loop of a thread on a window server that offers no tap (the Wayland compositors), so
// that no source is ever served here: runFor() only waits, until its time is up or stop() is
// called. A time that is not a positive finite number waits for nothing.
//
// Threads: as RunLoop.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/run_loop.h"

namespace virelo {

class WaitingRunLoop final : public RunLoop {
 public:
  void addSource(const std::shared_ptr<RunLoopSource>&) override {}
  void removeSource(const std::shared_ptr<RunLoopSource>&) override {}
  void runFor(double seconds) override;
  void stop() override;

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool stopped_ = false;  // under mutex_
};

}  // namespace virelo
