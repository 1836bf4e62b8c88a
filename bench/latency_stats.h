// Order statistics of a sample of durations or intervals.
#pragma once

#include <vector>

namespace virelo::bench {

struct LatencyStats {
  double p50 = 0;
  double p99 = 0;
  double p999 = 0;
  double max = 0;
  std::size_t count = 0;
};

// Nearest-rank percentiles of the values (in whatever unit they are given); all zero when empty.
LatencyStats latencyStats(std::vector<double> values);

// The median of the values; zero when empty.
double median(std::vector<double> values);

}  // namespace virelo::bench
