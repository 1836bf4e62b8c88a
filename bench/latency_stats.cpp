#include "bench/latency_stats.h"

#include <algorithm>
#include <cmath>

namespace virelo::bench {
namespace {

double rank(const std::vector<double>& sorted, double fraction) {
  auto index = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(index, 1, sorted.size()) - 1];
}

}  // namespace

LatencyStats latencyStats(std::vector<double> values) {
  LatencyStats stats;
  if (values.empty()) return stats;
  std::sort(values.begin(), values.end());
  stats.p50 = rank(values, 0.5);
  stats.p99 = rank(values, 0.99);
  stats.p999 = rank(values, 0.999);
  stats.max = values.back();
  stats.count = values.size();
  return stats;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return rank(values, 0.5);
}

}  // namespace virelo::bench
