// The reply to a "motion" sample: accepted, or dropped as stale ("dropped": "stale_motion"), which
// also stops the client's motion in the service.
#pragma once

namespace virelo::client {

struct MotionReply {
  bool stale = false;

  bool operator==(const MotionReply&) const = default;
};

}  // namespace virelo::client
