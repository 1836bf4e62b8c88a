#include "platform/atspi/atspi_unanswering.h"

#include <algorithm>

namespace virelo::atspi {

bool UnansweringApplications::skipped(const std::string& busName, Clock::time_point now) const {
  auto it = pauses_.find(busName);
  return it != pauses_.end() && now < it->second.until;
}

void UnansweringApplications::record(const std::string& busName, bool unanswered,
                                     Clock::time_point now) {
  auto it = pauses_.find(busName);
  if (!unanswered) {
    if (it != pauses_.end()) pauses_.erase(it);
    return;
  }
  if (it != pauses_.end()) {
    // Tried again after its pause and still silent.
    Clock::duration longer = std::min<Clock::duration>(it->second.length * 2, kLongestPause);
    it->second = {now + longer, longer};
    return;
  }
  if (pauses_.size() >= kMostRemembered) {
    pauses_.erase(std::min_element(
        pauses_.begin(), pauses_.end(),
        [](const auto& a, const auto& b) { return a.second.until < b.second.until; }));
  }
  pauses_.emplace(busName, Pause{now + kFirstPause, kFirstPause});
}

}  // namespace virelo::atspi
