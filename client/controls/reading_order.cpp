// Reading order: window by window, front to back; in a window, rows top to bottom, each row left
// to right.
#include <algorithm>
#include <limits>

#include "virelo/client/controls.h"

namespace virelo::client {
namespace {

int rank(const Control& c) {
  return c.stacking < 0 ? std::numeric_limits<int>::max() : c.stacking;
}

// Twice the vertical centre, in whole pixels.
int middle2(const Control& c) {
  return 2 * c.y + c.height;
}

// The controls of one window, by rows.
void rowsOf(std::vector<Control>::iterator begin, std::vector<Control>::iterator end) {
  std::stable_sort(begin, end,
                   [](const Control& a, const Control& b) { return middle2(a) < middle2(b); });
  while (begin != end) {
    const Control& top = *begin;
    // Within half the top control's height of its centre: |2dy| <= height.
    auto row = std::find_if(
        begin, end, [&](const Control& c) { return middle2(c) - middle2(top) > top.height; });
    std::stable_sort(begin, row, [](const Control& a, const Control& b) { return a.x < b.x; });
    begin = row;
  }
}

}  // namespace

void readingOrder(std::vector<Control>& controls) {
  std::stable_sort(controls.begin(), controls.end(),
                   [](const Control& a, const Control& b) { return rank(a) < rank(b); });
  for (auto window = controls.begin(); window != controls.end();) {
    auto next = std::find_if(window, controls.end(),
                             [&](const Control& c) { return rank(c) != rank(*window); });
    rowsOf(window, next);
    window = next;
  }
}

}  // namespace virelo::client
