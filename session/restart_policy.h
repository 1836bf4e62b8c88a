// When a session starts its service again after it ended without being asked: a bounded,
// doubling wait that resets after a healthy run, and a limit on failures in a row.
#pragma once

#include <chrono>
#include <optional>

namespace virelo::session {

class RestartPolicy {
 public:
  using Duration = std::chrono::milliseconds;
  static constexpr Duration kFirstWait{500};
  static constexpr Duration kLongestWait{30'000};
  // A run at least this long was healthy: the next failure starts the count again.
  static constexpr Duration kHealthyRun{60'000};
  static constexpr int kFailuresInARow = 10;

  // The service ended (or failed to start, with `ran` 0) after running for `ran`. Returns how long
  // to wait before the next start, or nullopt when the failures in a row are too many.
  std::optional<Duration> afterEnd(Duration ran);
  int failuresInARow() const { return failures_; }

 private:
  int failures_ = 0;
};

}  // namespace virelo::session
