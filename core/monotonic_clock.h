// The host's monotonic clock. Every stored time of the service and every "t_ns" a client sends is
// a reading of it; intervals are unsigned differences. Safe to call from any thread.
#pragma once

#include <cstdint>

namespace virelo {

std::uint64_t monotonicNS();

}  // namespace virelo
