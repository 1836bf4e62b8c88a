#include "service/watchdog.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

#include "core/monotonic_clock.h"

namespace virelo {

Watchdog::Watchdog(Lifetime& lifetime, EventEmitter& emitter, int parentFd)
    : lifetime_(lifetime),
      emitter_(emitter),
      parentFd_(parentFd),
      deadline_(monotonicNS() + kFirstDelayNS) {}

Watchdog::~Watchdog() {
  cancel();
}

void Watchdog::start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { run(); });
}

void Watchdog::cancel() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    cancelled_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Watchdog::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (cancelled_) return;
    std::uint64_t now = monotonicNS();
    if (now < deadline_) {
      wake_.wait_for(lock, std::chrono::nanoseconds(deadline_ - now));
      continue;
    }
    deadline_ += kPeriodNS;
    lock.unlock();
    fire();
    lock.lock();
  }
}

void Watchdog::fire() {
  pollfd parent{parentFd_, POLLIN, 0};
  const bool stop = lifetime_.stopping() || (::poll(&parent, 1, 0) > 0 &&
                                             (parent.revents & (POLLERR | POLLHUP | POLLNVAL)));
  if (stop) {
    // The main loop is stopping in order; it cancels this watchdog when its cleanup is done.
    const std::uint64_t now = monotonicNS();
    if (stopSeenAt_ == 0) stopSeenAt_ = now;
    if (now - stopSeenAt_ > kStopGraceNS) ::_exit(0);
    return;
  }
  if (lifetime_.sinceProgress(monotonicNS) > kStallNS) {
    emitter_.emit(failureEvent(InputBackend::corehid, errors::notReady));
    ::_exit(3);
  }
}

}  // namespace virelo
