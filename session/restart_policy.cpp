#include "session/restart_policy.h"

#include <algorithm>

namespace virelo::session {

std::optional<RestartPolicy::Duration> RestartPolicy::afterEnd(Duration ran) {
  if (ran >= kHealthyRun) failures_ = 0;
  ++failures_;
  if (failures_ >= kFailuresInARow) return std::nullopt;
  Duration wait = kFirstWait;
  for (int i = 1; i < failures_ && wait < kLongestWait; ++i) wait *= 2;
  return std::min(wait, kLongestWait);
}

}  // namespace virelo::session
