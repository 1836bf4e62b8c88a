// What one tick of steering sends for a pointer velocity: "motion" while the pointer is fast,
// snapped moves while it is slow.
//
// The service integrates "motion" itself, but in steps of 100 points per second (a sample is a
// whole number of points per 10 ms), too coarse for slow steering, and it never snaps a pointer
// moved by motion. Below `snapSpeed` the planner therefore integrates the velocity itself and
// sends the whole points of each tick as one move (with "snap" while snapping is on), carrying
// the fractions to the next tick. Above it, every tick sends a motion sample, dithered the same
// way, so that the speed delivered is the speed asked for and not its rounding; the sample also
// keeps the motion alive (it lapses 40 ms after the last one); the first tick from rest also sends
// that tick's way as a move, which the service delivers at once, where motion waits for the
// service's next tick. Crossing down from motion to moves
// stops the motion first; a velocity of zero stops it and forgets the carried fractions.
//
// Threads: a value owned by the steering loop.
#pragma once

#include <optional>

#include "tools/steer/stick_response.h"

namespace virelo::steer {

struct Step {
  int dx = 0;
  int dy = 0;

  bool operator==(const Step&) const = default;
};

struct TickPlan {
  bool stopMotion = false;
  // A motion sample: points per 10 ms.
  std::optional<Step> motion;
  // A relative move: points.
  std::optional<Step> move;
  bool snap = false;

  bool operator==(const TickPlan&) const = default;
};

class PointerPlanner {
 public:
  // `snapSpeed` in points per second: at or below it the planner sends moves.
  explicit PointerPlanner(double snapSpeed) : snapSpeed_(snapSpeed) {}

  // The commands for a tick of `seconds` at `velocity` (points per second). `snapping` asks for
  // "snap" on the moves.
  TickPlan plan(Vec2 velocity, double seconds, bool snapping);
  // Forgets the carried fractions and that motion runs (after a reset of the client).
  void reset();
  bool motionRunning() const { return motionRunning_; }
  double snapSpeed() const { return snapSpeed_; }

 private:
  // The whole points of `exact` plus the carry, the rest kept in the carry.
  Step whole(Vec2 exact);

  double snapSpeed_;
  Vec2 carry_;
  bool motionRunning_ = false;
  bool still_ = true;  // the pointer was not steered in the previous tick
};

}  // namespace virelo::steer
