#include "core/monotonic_clock.h"

#include <time.h>

namespace virelo {

std::uint64_t monotonicNS() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(ts.tv_nsec);
}

}  // namespace virelo
