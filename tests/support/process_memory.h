// Figures of a running process read from /proc: resident memory.
#pragma once

#include <sys/types.h>

namespace virelo::test {

// VmRSS of the process in KiB, or -1 when it cannot be read.
long residentKiB(pid_t pid);

}  // namespace virelo::test
