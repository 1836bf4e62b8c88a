#include "bench/hand_off.h"

#include <chrono>

namespace virelo::bench {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

// Spins while the condition holds, for at most `limit`, yielding after the first 20 µs; true
// when it ended by itself.
template <typename Condition>
bool spinWhile(Condition condition, microseconds limit) {
  const auto start = Clock::now();
  while (condition()) {
    const auto now = Clock::now();
    if (now - start >= limit) return false;
    if (now - start >= microseconds(20)) std::this_thread::yield();
  }
  return true;
}

}  // namespace

HandOff::HandOff() : thread_([this] { serve(); }) {}

HandOff::~HandOff() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void HandOff::exchange() {
  const std::uint64_t mine = asked_.load(std::memory_order_relaxed) + 1;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    asked_.store(mine, std::memory_order_release);
  }
  changed_.notify_all();
  auto waiting = [&] { return answered_.load(std::memory_order_acquire) != mine; };
  if (spinWhile(waiting, microseconds(1000))) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !waiting(); });
}

void HandOff::serve() {
  std::uint64_t seen = 0;
  for (;;) {
    spinWhile([&] { return asked_.load(std::memory_order_acquire) == seen; }, microseconds(50));
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock,
                  [&] { return stopping_ || asked_.load(std::memory_order_relaxed) != seen; });
    if (stopping_) return;
    seen = asked_.load(std::memory_order_relaxed);
    answered_.store(seen, std::memory_order_release);
    lock.unlock();
    changed_.notify_all();
  }
}

}  // namespace virelo::bench
