// The session taps and their run loops: delivering an event to each tap on its own thread.
#include <algorithm>
#include <chrono>

#include "platform/input_codes.h"
#include "platform/sim/sim_window_state.h"

namespace virelo::sim {
namespace {

// Hand-offs between a poster and a tap thread: spins while the condition holds, for at most
// `limit`, so that an answer that comes at once costs neither side a sleep and a wake-up. After
// the first microseconds it yields the processor in between, in case the other side waits for it.
template <typename Condition>
void spinWhile(Condition condition, std::chrono::microseconds limit) {
  auto start = std::chrono::steady_clock::now();
  auto yieldFrom = start + std::chrono::microseconds(20);
  auto until = start + limit;
  while (condition()) {
    auto now = std::chrono::steady_clock::now();
    if (now >= until) return;
    if (now >= yieldFrom) {
      std::this_thread::yield();
    } else {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
  }
}

// A poster waits for the tap's answer anyway; a tap thread only hopes for the next event.
constexpr auto kPosterSpin = std::chrono::microseconds(1000);
constexpr auto kTapSpin = std::chrono::microseconds(50);

}  // namespace

void SimRunLoop::runFor(double seconds) {
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      std::chrono::duration<double>(std::max(seconds, 0.0)));
  std::unique_lock<std::mutex> lock(state_->mutex);
  bool justWorked = false;
  while (!stopped_) {
    if (!work_.empty()) {
      auto job = std::move(work_.front());
      work_.pop_front();
      lock.unlock();
      job();
      lock.lock();
      justWorked = true;
      continue;
    }
    // Events come in bursts (a key press is a flags change and a key down): right after a
    // delivery the loop looks for the next one for a moment before it goes to sleep.
    if (justWorked) {
      justWorked = false;
      std::uint64_t seen = queued_.load(std::memory_order_acquire);
      lock.unlock();
      spinWhile([&] { return queued_.load(std::memory_order_acquire) == seen; }, kTapSpin);
      lock.lock();
      continue;
    }
    if (state_->changed.wait_until(lock, deadline) == std::cv_status::timeout) break;
  }
  stopped_ = false;
}

std::shared_ptr<RunLoopSource> SimTap::createRunLoopSource() {
  return std::make_shared<SimRunLoopSource>(shared_from_this());
}

void SimRunLoop::addSource(const std::shared_ptr<RunLoopSource>& source) {
  auto s = std::dynamic_pointer_cast<SimRunLoopSource>(source);
  if (!s) return;
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (!s->tap->invalidatedLocked()) s->tap->setLoopLocked(shared_from_this());
  state_->changed.notify_all();
}

void SimRunLoop::removeSource(const std::shared_ptr<RunLoopSource>& source) {
  auto s = std::dynamic_pointer_cast<SimRunLoopSource>(source);
  if (!s) return;
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (s->tap->loopLocked().get() == this) s->tap->setLoopLocked(nullptr);
  state_->changed.notify_all();
}

std::optional<Event> SimWindowServer::State::deliver(const std::shared_ptr<SimTap>& tap,
                                                     std::uint32_t type, const Event& event,
                                                     bool waitForIt) {
  struct Slot {
    std::atomic<bool> done{false};
    Event result;
  };
  std::unique_lock<std::mutex> lock(mutex);
  auto loop = tap->loopLocked();
  if (!loop || tap->invalidatedLocked()) return std::nullopt;
  if (loop->thread() == std::this_thread::get_id()) {
    // Posted from the tap's own thread: the callback runs right here.
    lock.unlock();
    return tap->call(type, event);
  }
  auto slot = std::make_shared<Slot>();
  loop->enqueueLocked([this, tap, type, event, slot] {
    Event out = tap->call(type, event);
    std::lock_guard<std::mutex> guard(mutex);
    slot->result = std::move(out);
    slot->done.store(true, std::memory_order_release);
    changed.notify_all();
  });
  if (!waitForIt) return std::nullopt;
  // A callback usually answers within microseconds: look for the answer for a moment before
  // sleeping on the condition.
  lock.unlock();
  spinWhile([&] { return !slot->done.load(std::memory_order_acquire); }, kPosterSpin);
  lock.lock();
  changed.wait_for(lock, tapTimeout, [&] {
    return slot->done.load(std::memory_order_relaxed) || tap->invalidatedLocked() ||
           tap->loopLocked() != loop;
  });
  if (slot->done.load(std::memory_order_relaxed)) return slot->result;
  if (!tap->invalidatedLocked() && tap->loopLocked() == loop && tap->enabledLocked()) {
    // Too slow: the system disables the tap and tells it so when its loop runs again.
    tap->disableLocked();
    host.trace({{"event", "tap_disabled"}, {"reason", "timeout"}});
    loop->enqueueLocked([tap] { tap->call(kEventTapDisabledByTimeout, Event{}); });
  }
  return std::nullopt;
}

Event SimWindowServer::State::passTaps(Event event) {
  std::vector<std::shared_ptr<SimTap>> current;
  {
    std::lock_guard<std::mutex> guard(mutex);
    if (!listenAccess) return event;
    current = taps;
  }
  for (const auto& tap : current) {
    {
      std::lock_guard<std::mutex> guard(mutex);
      if (!listenAccess || !tap->deliverableLocked(event.type)) continue;
    }
    if (auto out = deliver(tap, event.type, event, true)) event = std::move(*out);
  }
  return event;
}

void SimWindowServer::State::applyLocked(const Event& event, EventSource source) {
  if (isMouseEventType(event.type)) cursor = event.location;
  if (event.type == kEventFlagsChanged && event.keycode == kCapsLockKeycode) {
    bool& down = capsKeyDown[static_cast<std::size_t>(source)];
    if (!down) capsLock = !capsLock;
    down = !down;
  }
}

}  // namespace virelo::sim
