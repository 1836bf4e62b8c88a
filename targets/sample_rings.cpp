#include "targets/sample_rings.h"

#include <cmath>
#include <numbers>

namespace virelo {
namespace {

std::vector<Vector> ring(std::initializer_list<std::pair<double, int>> circles) {
  std::vector<Vector> offsets{{0, 0}};
  for (auto [r, n] : circles) {
    auto c = circle(r, n);
    offsets.insert(offsets.end(), c.begin(), c.end());
  }
  return offsets;
}

}  // namespace

std::vector<Vector> circle(double r, int n) {
  std::vector<Vector> offsets;
  for (int i = 0; i < n; ++i) {
    double a = (static_cast<double>(i + i) * std::numbers::pi) / n;
    offsets.push_back({r * std::cos(a), r * std::sin(a)});
  }
  return offsets;
}

// Computed on first use and never changed; function-local statics are initialised thread-safely.
const std::vector<Vector>& nearRing() {
  static const std::vector<Vector> offsets = ring({{12, 4}, {24, 8}});
  return offsets;
}

const std::vector<Vector>& wideRing() {
  static const std::vector<Vector> offsets = ring({{12, 8}, {24, 8}, {36, 8}});
  return offsets;
}

}  // namespace virelo
