// Ends the process when the main loop stalls or the parent is gone ("corehid" only).
// Every 50 ms, from a first deadline 100 ms after construction: more than 250 ms without progress
// writes the failure event and ends the process with status 3, without any cleanup. A requested
// stop or a hung-up standard input is the main loop's to carry out: its orderly stop releases
// what is held, removes the socket file and cancels the watchdog on the way. Only a stop not done
// within kStopGraceNS of the firing that first saw it ends the process here, with status 0
// (again without cleanup), so that a main loop stuck in an output operation cannot keep the
// process alive after its parent asked it to go.
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
  static constexpr std::uint64_t kStopGraceNS = 250'000'000;

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
  std::uint64_t stopSeenAt_ = 0;  // 0: no stop seen yet; the watchdog's thread only
  std::mutex mutex_;
  std::condition_variable wake_;
  bool cancelled_ = false;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace virelo
