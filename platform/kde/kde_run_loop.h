// The run loop of a thread on the KDE window server. The compositor offers no tap, so no source is
// ever served: runFor() waits for its time or until stop().
//
// Threads: as RunLoop.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/run_loop.h"

namespace virelo::kde {

class KdeRunLoop final : public RunLoop {
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

}  // namespace virelo::kde
