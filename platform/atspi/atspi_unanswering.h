// Applications that did not answer a request within the timeout, by their name on the
// accessibility bus. Requests to such an application are skipped for a while, so that one hung
// application costs a search one timeout instead of one per request, and its unanswered requests
// do not pile up at it: for kFirstPause after the first request it left unanswered; then one
// request tries it again, and every further request it leaves unanswered doubles the pause (up to
// kLongestPause). A request it answers makes it an ordinary application again.
//
// Threads: only on the thread that uses libatspi (the snap target finder's queue).
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

namespace virelo::atspi {

class UnansweringApplications {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kFirstPause{30};
  static constexpr std::chrono::seconds kLongestPause{480};
  // At most this many applications are remembered; the one whose pause ends first goes.
  static constexpr std::size_t kMostRemembered = 64;

  // Whether requests to the application are to be skipped at `now`.
  bool skipped(const std::string& busName, Clock::time_point now) const;
  // The outcome of requests to the application made at `now`: whether one of them went
  // unanswered.
  void record(const std::string& busName, bool unanswered, Clock::time_point now);

 private:
  struct Pause {
    Clock::time_point until;
    Clock::duration length;
  };
  std::map<std::string, Pause> pauses_;
};

}  // namespace virelo::atspi
