// One connected client's complete current input state and continuous motion (its connection is
// the connection layer's). Main thread only.
#pragma once

#include <cstdint>

#include "bridge/reports.h"
#include "virelo/protocol/limits.h"

namespace virelo {

// Motion lapses when no sample came for this long: it stops, and a later sample starts afresh.
inline constexpr std::uint64_t kMotionLapseNS = protocol::kMotionLapseNS;

struct Owner {
  std::int64_t modifiers = 0;  // 0..255
  std::int64_t buttons = 0;    // 0..31
  bool fn = false;
  KeySet keys;
  ConsumerSet consumers;
  // Continuous motion: velocity in counts per second, the carried sub-count remainder, the time
  // stamp of the last accepted sample (0 = no motion) and the time integrated up to.
  double vx = 0, vy = 0;
  double fractionX = 0, fractionY = 0;
  std::uint64_t motionAt = 0;
  std::uint64_t steppedAt = 0;

  // Clears the input state.
  void reset();
  void stopMotion();
};

}  // namespace virelo
