#include "platform/waiting_run_loop.h"

#include <chrono>
#include <cmath>

namespace virelo {

void WaitingRunLoop::runFor(double seconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (std::isfinite(seconds) && seconds > 0) {
    woken_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return stopped_; });
  }
  stopped_ = false;
}

void WaitingRunLoop::stop() {
  std::lock_guard<std::mutex> guard(mutex_);
  stopped_ = true;
  woken_.notify_all();
}

}  // namespace virelo
