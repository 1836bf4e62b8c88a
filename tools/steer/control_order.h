// The controls of a window in reading order, and the control before or after the pointer, for the
// previous/next control buttons. Pure functions of the controls' bounds (X server pixels).
//
// Reading order is by rows, top to bottom, and left to right within a row: a control belongs to
// the row of the controls before it when its centre lies within the vertical extent of the row's
// first control.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace virelo::steer {

struct Box {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  int centreX() const { return x + width / 2; }
  int centreY() const { return y + height / 2; }
  bool operator==(const Box&) const = default;
};

std::vector<Box> inReadingOrder(std::vector<Box> boxes);

// Of controls in reading order, the index of the one after (`forward`) or before the pointer at
// (x, y): the pointer on a control's centre stands at that control, elsewhere it stands between
// the controls around it in reading order. Wraps around at the ends; nullopt when there are none.
std::optional<std::size_t> neighbour(const std::vector<Box>& ordered, int x, int y, bool forward);

}  // namespace virelo::steer
