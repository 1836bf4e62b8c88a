// The one shared liveness record of the process.
//
// Threads: the main thread marks progress and reads `stopping`; the signal observer sets
// `stopping`; the watchdog reads both. Every access takes the lock for one read or write only.
#pragma once

#include <cstdint>
#include <mutex>

namespace virelo {

class Lifetime {
 public:
  explicit Lifetime(std::uint64_t now) : lastProgress_(now) {}

  void markProgress(std::uint64_t now) {
    std::lock_guard<std::mutex> guard(lock_);
    lastProgress_ = now;
  }
  std::uint64_t lastProgress() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lastProgress_;
  }
  void requestStop() {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  bool stopping() const {
    std::lock_guard<std::mutex> guard(lock_);
    return stopping_;
  }
  // now - lastProgress, with the clock read under the lock so that the difference never wraps.
  template <typename Clock>
  std::uint64_t sinceProgress(Clock clock) const {
    std::lock_guard<std::mutex> guard(lock_);
    return clock() - lastProgress_;
  }

 private:
  mutable std::mutex lock_;
  std::uint64_t lastProgress_;
  bool stopping_ = false;
};

}  // namespace virelo
