// The constants that shape cursor snapping. A plain copyable value: `SnapTuning{}` gives the
// defaults the service uses, and memberwise construction (`SnapTuning{20.0, 30.0}`) overrides
// fields in order, the rest keeping their defaults.
//
// Threads: a value; copies are used on the main thread only.
#pragma once

#include <cstdint>

namespace virelo {

struct SnapTuning {
  // How far beyond a target's rectangle a moving cursor is captured by it, in points.
  double reach = 24.0;
  // How far beyond a target's rectangle a resting cursor is pulled onto it, in points.
  double stopReach = 36.0;
  // Smoothed pointer speed (points per second) above which a moving cursor is never captured.
  double maxSpeed = 350.0;
  // Quiet time after the last movement before the resting pull is tried, in nanoseconds.
  std::uint64_t stopDelayNS = 100'000'000;
  // Largest allowed shorter side of a target, in points.
  double maxShort = 40.0;
  // Largest allowed longer side of a target, in points.
  double maxLong = 400.0;

  friend bool operator==(const SnapTuning&, const SnapTuning&) = default;
};

}  // namespace virelo
