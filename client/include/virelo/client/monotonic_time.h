// The clock the service reads for motion samples: CLOCK_MONOTONIC in nanoseconds. Every "t_ns" a
// client sends must be a reading of it. Safe to call from any thread.
#pragma once

#include <cstdint>

namespace virelo::client {

std::uint64_t monotonicNow();

}  // namespace virelo::client
