// A hand-off to a second thread and back, once per call of exchange(), the way the simulated
// window server hands every posted event to the service's event tap on the tap's thread and
// waits for its answer: the caller spins for its answer for up to 1 ms (yielding after the first
// 20 µs), then sleeps on a condition variable; the other thread spins for 50 µs after each
// exchange for the next one before it sleeps. The echo baseline does it per line to show what
// that hand-off costs on a machine.
//
// Threads: exchange() from one thread at a time; the object owns the other.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace virelo::bench {

class HandOff {
 public:
  HandOff();
  ~HandOff();
  HandOff(const HandOff&) = delete;
  HandOff& operator=(const HandOff&) = delete;

  // Hands one item over and returns once the other thread has taken and answered it.
  void exchange();

 private:
  void serve();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<std::uint64_t> asked_{0};
  std::atomic<std::uint64_t> answered_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace virelo::bench
