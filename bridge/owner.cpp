#include "bridge/owner.h"

namespace virelo {

void Owner::reset() {
  modifiers = 0;
  buttons = 0;
  fn = false;
  keys.reset();
  consumers.reset();
  stopMotion();
}

void Owner::stopMotion() {
  vx = vy = 0;
  fractionX = fractionY = 0;
  motionAt = 0;
  steppedAt = 0;
}

}  // namespace virelo
