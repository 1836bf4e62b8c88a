// A monotonic clock that only moves when the test moves it.
//
// Threads: read by the code under test on the main thread; set by the test on the main thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "bridge/bridge.h"

namespace virelo::testing {

class FakeClock {
 public:
  explicit FakeClock(std::uint64_t start = 1'000'000'000'000) : now_(start) {}

  std::uint64_t now() const { return now_.load(); }
  void set(std::uint64_t now) { now_.store(now); }
  void advance(std::uint64_t ns) { now_.fetch_add(ns); }

  // A Clock for the code under test, reading this one.
  Clock fn() {
    return [this] { return now_.load(); };
  }

 private:
  std::atomic<std::uint64_t> now_;
};

}  // namespace virelo::testing
