#include "tools/steer/control_order.h"

#include <algorithm>

namespace virelo::steer {
namespace {

// Whether the point (x, y) comes before the centre of b in reading order, rows decided by b.
bool before(int x, int y, const Box& b) {
  if (y < b.y) return true;
  if (y >= b.y + b.height) return false;
  return x < b.centreX();
}

}  // namespace

std::vector<Box> inReadingOrder(std::vector<Box> boxes) {
  std::stable_sort(boxes.begin(), boxes.end(),
                   [](const Box& a, const Box& b) { return a.centreY() < b.centreY(); });
  std::vector<Box> ordered;
  std::size_t rowStart = 0;
  while (rowStart < boxes.size()) {
    const Box& first = boxes[rowStart];
    std::size_t rowEnd = rowStart + 1;
    while (rowEnd < boxes.size() && boxes[rowEnd].centreY() < first.y + first.height) ++rowEnd;
    std::stable_sort(boxes.begin() + rowStart, boxes.begin() + rowEnd,
                     [](const Box& a, const Box& b) { return a.x < b.x; });
    ordered.insert(ordered.end(), boxes.begin() + rowStart, boxes.begin() + rowEnd);
    rowStart = rowEnd;
  }
  return ordered;
}

std::optional<std::size_t> neighbour(const std::vector<Box>& ordered, int x, int y, bool forward) {
  const std::size_t n = ordered.size();
  if (n == 0) return std::nullopt;
  for (std::size_t i = 0; i < n; ++i) {
    if (ordered[i].centreX() == x && ordered[i].centreY() == y) {
      return forward ? (i + 1) % n : (i + n - 1) % n;
    }
  }
  // The first control that the pointer comes before.
  std::size_t next = n;
  for (std::size_t i = 0; i < n && next == n; ++i) {
    if (before(x, y, ordered[i])) next = i;
  }
  if (forward) return next % n;
  return (next + n - 1) % n;
}

}  // namespace virelo::steer
