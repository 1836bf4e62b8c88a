// Turns a system time interval in seconds into monotonic nanoseconds: nothing unless
// 0 < seconds < 18446744073.0 (so zero, negative, infinite and NaN settings give nothing),
// otherwise seconds x 1e9 truncated toward zero.
#pragma once

#include <cstdint>
#include <optional>

namespace virelo {

inline std::optional<std::uint64_t> nanos(double seconds) {
  if (!(seconds > 0.0 && seconds < 18446744073.0)) return std::nullopt;
  return static_cast<std::uint64_t>(seconds * 1000000000.0);
}

}  // namespace virelo
