// Turns a system time interval in seconds into monotonic nanoseconds: nothing unless
// 0 < seconds < 18446744073.0 (so zero, negative, infinite and NaN settings give nothing),
// otherwise seconds x 1e9 truncated toward zero. laterBy() adds such a span to a time point.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace virelo {

inline std::optional<std::uint64_t> nanos(double seconds) {
  if (!(seconds > 0.0 && seconds < 18446744073.0)) return std::nullopt;
  return static_cast<std::uint64_t>(seconds * 1000000000.0);
}

// now + span, held at the largest time instead of wrapping: a due time that far away is never
// reached.
inline std::uint64_t laterBy(std::uint64_t now, std::uint64_t span) {
  const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - now;
  return span > room ? std::numeric_limits<std::uint64_t>::max() : now + span;
}

}  // namespace virelo
