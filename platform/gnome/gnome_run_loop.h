// The run loop of a thread on the GNOME window server. The compositor offers no way to watch the
// session's input, so no tap ever has a source here: the loop only waits, until its time is up or
// stop() is called.
//
// Threads: as RunLoop.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/run_loop.h"

namespace virelo::gnome {

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

}  // namespace virelo::gnome
