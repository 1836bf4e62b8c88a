#include "tools/steer/pad_actions.h"

#include <cmath>

namespace virelo::steer {
namespace {

// Keyboard usages of the arrow keys.
constexpr int kRight = 79;
constexpr int kLeft = 80;
constexpr int kDown = 81;
constexpr int kUp = 82;

bool pressed(const PadState& before, const PadState& now, PadButton b) {
  return now.held(b) && !before.held(b);
}

}  // namespace

Held heldFor(const PadState& pad) {
  Held held;
  if (pad.held(PadButton::a)) held.buttons |= 1;
  if (pad.held(PadButton::b)) held.buttons |= 2;
  if (pad.held(PadButton::x)) held.buttons |= 4;
  if (pad.held(PadButton::up)) held.keys.insert(kUp);
  if (pad.held(PadButton::down)) held.keys.insert(kDown);
  if (pad.held(PadButton::left)) held.keys.insert(kLeft);
  if (pad.held(PadButton::right)) held.keys.insert(kRight);
  return held;
}

bool precise(const PadState& pad) {
  return pad.leftTrigger > 0.5;
}

Presses pressesBetween(const PadState& before, const PadState& now) {
  Presses p;
  p.previousControl = pressed(before, now, PadButton::leftShoulder);
  p.nextControl = pressed(before, now, PadButton::rightShoulder);
  p.toggleSnapping = pressed(before, now, PadButton::y);
  p.togglePause = pressed(before, now, PadButton::back);
  return p;
}

int Scroller::steps(Vec2 stick, const Response& response, double stepsPerSecond, double seconds) {
  const double rate = -shaped(stick, response).y * stepsPerSecond;
  // A fraction owed in the other direction is not scrolled after a change of direction.
  if (rate == 0 || rate * carry_ < 0) carry_ = 0;
  if (rate == 0) return 0;
  carry_ += rate * seconds;
  const int whole = static_cast<int>(std::trunc(carry_));
  carry_ -= whole;
  return whole;
}

bool Dwell::update(Vec2 moved, std::uint64_t nowNs) {
  offset_ = {offset_.x + moved.x, offset_.y + moved.y};
  if (length(offset_) > radius_) {
    offset_ = {};
    since_ = nowNs;
    armed_ = true;
    return false;
  }
  if (!armed_ || nowNs - since_ < dwellNs_) return false;
  armed_ = false;
  return true;
}

}  // namespace virelo::steer
