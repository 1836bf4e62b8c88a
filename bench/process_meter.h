// What /proc tells about another process: its CPU time and its resident memory.
//
// Threads: any.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace virelo::bench {

class ProcessMeter {
 public:
  explicit ProcessMeter(pid_t pid) : pid_(pid) {}

  // utime + stime of the whole process from /proc/<pid>/stat, in seconds (clock-tick resolution).
  double cpuSeconds() const;
  // The time every thread of the process spent on a CPU, from /proc/<pid>/task/*/schedstat, in
  // seconds (nanosecond resolution; threads that have ended are not counted).
  double scheduledSeconds() const;
  // VmHWM from /proc/<pid>/status, in KiB; 0 when it cannot be read.
  std::uint64_t peakResidentKiB() const;
  // VmRSS from /proc/<pid>/status, in KiB; 0 when it cannot be read.
  std::uint64_t residentKiB() const;

 private:
  pid_t pid_;
};

}  // namespace virelo::bench
