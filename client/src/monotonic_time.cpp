#include <time.h>

#include "virelo/client/motion.h"

namespace virelo::client {

std::uint64_t monotonicNow() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ULL +
         static_cast<std::uint64_t>(ts.tv_nsec);
}

}  // namespace virelo::client
