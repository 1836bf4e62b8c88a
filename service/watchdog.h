// Ends the process when the main loop stalls or the parent is gone ("corehid" only).
// Every 50 ms, from a first deadline 100 ms after construction: a requested stop or a hung-up
// standard input ends the process at once with status 0; more than 250 ms without progress
// writes the failure event and ends it with status 3. No cleanup runs in either case.
//
// Threads: constructed, started and cancelled on the main thread; fires on its own thread, which
// reads the Lifetime under its lock, polls the parent pipe and may emit one event.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/event_emitter.h"
#include "core/lifetime.h"

namespace virelo {

class Watchdog {
 public:
  static constexpr std::uint64_t kFirstDelayNS = 100'000'000;
  static constexpr std::uint64_t kPeriodNS = 50'000'000;
  static constexpr std::uint64_t kStallNS = 250'000'000;

  Watchdog(Lifetime& lifetime, EventEmitter& emitter, int parentFd);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  void start();
  void cancel();

 private:
  void run();
  void fire();

  Lifetime& lifetime_;
  EventEmitter& emitter_;
  int parentFd_;
  std::uint64_t deadline_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool cancelled_ = false;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace virelo
