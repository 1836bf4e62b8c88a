#include "tools/steer/pointer_planner.h"

#include <algorithm>
#include <cmath>

namespace virelo::steer {
namespace {

// A motion sample and a move are each limited to this many points per axis.
constexpr int kLargestStep = 127;
// A motion sample is a displacement per this many seconds.
constexpr double kMotionUnit = 0.010;

int clamped(double value) {
  return static_cast<int>(std::clamp(value, -double(kLargestStep), double(kLargestStep)));
}

}  // namespace

Step PointerPlanner::whole(Vec2 exact) {
  const double x = exact.x + carry_.x;
  const double y = exact.y + carry_.y;
  const Step step{clamped(std::round(x)), clamped(std::round(y))};
  carry_ = {x - step.dx, y - step.dy};
  // A fraction left over from a clamped step is not owed: the step was as large as one can be.
  carry_.x = std::clamp(carry_.x, -1.0, 1.0);
  carry_.y = std::clamp(carry_.y, -1.0, 1.0);
  return step;
}

TickPlan PointerPlanner::plan(Vec2 velocity, double seconds, bool snapping) {
  TickPlan plan;
  const double speed = length(velocity);
  if (speed == 0) {
    plan.stopMotion = motionRunning_;
    reset();
    return plan;
  }
  if (speed > snapSpeed_) {
    // From rest, the service's motion moves the pointer only on its next tick; a move of this
    // tick's way moves it at once.
    if (!motionRunning_ && still_)
      plan.move = Step{clamped(velocity.x * seconds), clamped(velocity.y * seconds)};
    plan.motion = whole({velocity.x * kMotionUnit, velocity.y * kMotionUnit});
    motionRunning_ = true;
    still_ = false;
    return plan;
  }
  still_ = false;
  if (motionRunning_) {
    plan.stopMotion = true;
    motionRunning_ = false;
    carry_ = {};
  }
  const Step step = whole({velocity.x * seconds, velocity.y * seconds});
  if (step.dx != 0 || step.dy != 0) {
    plan.move = step;
    plan.snap = snapping;
  }
  return plan;
}

void PointerPlanner::reset() {
  carry_ = {};
  motionRunning_ = false;
  still_ = true;
}

}  // namespace virelo::steer
