// Counts the calls of the global operator new (every form) in a benchmark binary, so that a
// benchmark can report its allocations per iteration. Linking allocation_count.cpp replaces the
// global allocation functions of the whole program.
//
// Threads: any thread may allocate; the count is atomic.
#pragma once

#include <cstdint>

namespace virelo::bench {

// Number of calls of the global operator new since the program started.
std::uint64_t allocationCount();

}  // namespace virelo::bench
