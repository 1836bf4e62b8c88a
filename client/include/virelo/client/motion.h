// Continuous pointer motion: a helper thread that sends "motion" samples through a Client at a
// steady rate, each stamped with monotonicNow() when it is sent, until stopped; stopping sends
// "stop_motion". The service lapses motion 40 ms after the last sample, so the period must stay
// well below that (8 ms by default).
//
// Threads: start(), setVelocity() and stop() may be called from any thread, but not
// concurrently with the destructor. The helper thread only sends through the Client, whose calls
// are serialised by the Client's own mutex, so the owner may go on using the client (for example
// to press buttons for a drag) while the stream runs. The Client must outlive the stream.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace virelo::client {

// The clock the service reads for motion samples: CLOCK_MONOTONIC in nanoseconds. Every "t_ns" a
// client sends must be a reading of it. Safe to call from any thread.
std::uint64_t monotonicNow();

class Client;

class MotionStream {
 public:
  explicit MotionStream(Client& client,
                        std::chrono::milliseconds period = std::chrono::milliseconds(8));
  // Stops the stream (errors are swallowed here; call stop() to see them).
  ~MotionStream();
  MotionStream(const MotionStream&) = delete;
  MotionStream& operator=(const MotionStream&) = delete;

  // Starts sending samples of (dx, dy) per 10 ms, each in [-127, 127]. Throws std::logic_error
  // when already running.
  void start(int dx, int dy);
  // Changes the displacement of the following samples.
  void setVelocity(int dx, int dy);
  // Ends the thread, then sends "stop_motion". Rethrows the error that ended the thread early,
  // if any (e.g. ConnectionLost). Does nothing when not running.
  void stop();
  bool running() const;
  // Samples sent and samples the service dropped as stale, since construction.
  std::size_t samplesSent() const;
  std::size_t staleSamples() const;

 private:
  void run();

  Client& client_;
  const std::chrono::milliseconds period_;
  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  std::thread thread_;
  bool running_ = false;
  bool stopRequested_ = false;
  int dx_ = 0;
  int dy_ = 0;
  std::size_t sent_ = 0;
  std::size_t stale_ = 0;
  std::exception_ptr error_;
};

}  // namespace virelo::client
