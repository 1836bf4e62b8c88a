// What the controller's buttons and second stick do, as pure functions of its state:
//   A             the primary button, held while A is (a click, or a drag while steering)
//   B, X          the secondary and the middle button, held likewise
//   D-pad         the arrow keys, held while pressed
//   left trigger  the precision modifier, while pressed more than half way
//   shoulders     the previous (left) and the next (right) control of the focused window
//   Y             snapping on and off
//   Back          pause: everything is released and only Back is heeded until it is pressed again
//   right stick   scrolling, up and down
#pragma once

#include <cstdint>
#include <optional>
#include <set>

#include "tools/steer/pad_state.h"

namespace virelo::steer {

// The input the client holds for a controller state: pointer button bits and keyboard usages.
struct Held {
  int buttons = 0;
  std::set<int> keys;

  bool empty() const { return buttons == 0 && keys.empty(); }
  bool operator==(const Held&) const = default;
};
Held heldFor(const PadState& pad);

bool precise(const PadState& pad);

// What a press (a button going down between two states) asks for.
struct Presses {
  bool previousControl = false;
  bool nextControl = false;
  bool toggleSnapping = false;
  bool togglePause = false;

  bool operator==(const Presses&) const = default;
};
Presses pressesBetween(const PadState& before, const PadState& now);

// Wheel steps from the second stick: its shaped vertical deflection times `stepsPerSecond`,
// integrated with the fractions carried from tick to tick. Positive scrolls up (stick pushed up).
class Scroller {
 public:
  int steps(Vec2 stick, const Response& response, double stepsPerSecond, double seconds);
  void reset() { carry_ = 0; }

 private:
  double carry_ = 0;
};

// Dwell click: once the pointer has moved, and then stays within `radius` points of one place for
// `dwell`, one click is due; the next needs the pointer to move out of the radius first.
class Dwell {
 public:
  Dwell(double radius, std::uint64_t dwellNs) : radius_(radius), dwellNs_(dwellNs) {}
  // The pointer moved by `moved` points at `nowNs`; whether a click is due now.
  bool update(Vec2 moved, std::uint64_t nowNs);

 private:
  double radius_;
  std::uint64_t dwellNs_;
  Vec2 offset_;  // from the place the pointer rests at
  std::uint64_t since_ = 0;
  bool armed_ = false;
};

}  // namespace virelo::steer
