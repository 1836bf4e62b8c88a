// What a controller shows at one moment: its two sticks, its triggers and its buttons, whatever
// kind of device it came from (a game controller, a head tracker's pose, a virtual pad).
#pragma once

#include <bitset>
#include <cstddef>

#include "tools/steer/stick_response.h"

namespace virelo::steer {

// The buttons of a game controller, in SDL's order of SDL_GameControllerButton.
enum class PadButton : std::size_t {
  a,
  b,
  x,
  y,
  back,
  guide,
  start,
  leftStick,
  rightStick,
  leftShoulder,
  rightShoulder,
  up,
  down,
  left,
  right,
  count
};

struct PadState {
  Vec2 left;
  Vec2 right;
  // The triggers, from 0 (released) to 1.
  double leftTrigger = 0;
  double rightTrigger = 0;
  std::bitset<static_cast<std::size_t>(PadButton::count)> buttons;

  bool held(PadButton b) const { return buttons.test(static_cast<std::size_t>(b)); }
  void set(PadButton b, bool down) { buttons.set(static_cast<std::size_t>(b), down); }
  bool operator==(const PadState&) const = default;
};

}  // namespace virelo::steer
