// The clock and the control that the snapping tests share: times in nanoseconds from a start
// that is not zero, the 8 ms between slow steps, and one 20 x 20 target centred on (110, 110),
// whose 24-point band spans [76, 144) on both axes and its 36-point stop band [64, 156).
#pragma once

#include <cstdint>

#include "platform/geometry.h"

namespace virelo::snaptest {

inline constexpr std::uint64_t kStart = 1'000'000'000;
inline constexpr std::uint64_t kTick = 8'000'000;
inline constexpr std::uint64_t kMs = 1'000'000;
inline const Rect kTarget = makeRect(100, 100, 20, 20);
inline const Point kTargetCentre{110, 110};

}  // namespace virelo::snaptest
