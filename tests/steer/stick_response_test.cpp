// The stick's response and the commands of each tick, as pure functions of the deflection.
#include "tools/steer/stick_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tools/steer/pointer_planner.h"

namespace virelo::steer {
namespace {

constexpr double kTick = 0.008;

TEST(StickResponse, ARestingStickWithNoiseMovesNothing) {
  const Response response;
  PointerPlanner planner(300);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> noise(-0.1, 0.1);
  for (int i = 0; i < 1000; ++i) {
    const Vec2 raw{noise(random), noise(random)};
    EXPECT_EQ(pointerVelocity(raw, response, false), Vec2{});
    EXPECT_EQ(planner.plan(pointerVelocity(raw, response, false), kTick, true), TickPlan{});
  }
}

TEST(StickResponse, DiagonalsAreAsFastAsTheAxes) {
  const Response response;
  for (double deflection : {0.3, 0.6, 0.9, 1.0}) {
    const double axis = length(pointerVelocity({deflection, 0}, response, false));
    const double d = deflection / std::sqrt(2.0);
    EXPECT_NEAR(length(pointerVelocity({d, -d}, response, false)), axis, 1e-9) << deflection;
    EXPECT_NEAR(length(pointerVelocity({0, deflection}, response, false)), axis, 1e-9);
  }
  // A square stick's corner is no faster than full deflection along an axis.
  EXPECT_NEAR(length(pointerVelocity({1, 1}, response, false)), response.maxSpeed, 1e-9);
}

TEST(StickResponse, ThePowerCurveRunsFromTheDeadZoneToTheSaturation) {
  Response response;
  response.deadZone = 0.1;
  response.saturation = 0.9;
  response.maxSpeed = 1000;
  for (double exponent : {1.0, 2.0, 3.0}) {
    response.exponent = exponent;
    EXPECT_NEAR(pointerVelocity({0.5, 0}, response, false).x, 1000 * std::pow(0.5, exponent), 1e-9);
    EXPECT_NEAR(pointerVelocity({-0.3, 0}, response, false).x, -1000 * std::pow(0.25, exponent),
                1e-9);
    EXPECT_EQ(pointerVelocity({0.95, 0}, response, false).x, 1000);
    EXPECT_EQ(pointerVelocity({0.1, 0}, response, false).x, 0);
  }
  response.precision = 0.2;
  EXPECT_NEAR(pointerVelocity({0, 0.9}, response, true).y, 200, 1e-9);
}

// The points a run of ticks moves the pointer: moves as sent, motion as the service integrates it
// (the sample's points per 10 ms, for each tick's time).
Vec2 travelled(PointerPlanner& planner, Vec2 velocity, int ticks, bool* snapped = nullptr) {
  Vec2 total;
  for (int i = 0; i < ticks; ++i) {
    const TickPlan plan = planner.plan(velocity, kTick, true);
    if (plan.move) total = {total.x + plan.move->dx, total.y + plan.move->dy};
    if (plan.motion) total = {total.x + plan.motion->dx * 0.8, total.y + plan.motion->dy * 0.8};
    if (snapped && plan.move) *snapped = *snapped && plan.snap;
  }
  return total;
}

TEST(PointerPlanner, SlowSteeringIsIntegratedIntoSnappedMovesAtItsExactSpeed) {
  PointerPlanner planner(300);
  bool snapped = true;
  // 125 ticks of 8 ms are one second.
  const Vec2 path = travelled(planner, {37, -110}, 125, &snapped);
  EXPECT_NEAR(path.x, 37, 1);
  EXPECT_NEAR(path.y, -110, 1);
  EXPECT_TRUE(snapped);
  EXPECT_FALSE(planner.motionRunning());
}

TEST(PointerPlanner, FastSteeringMovesAtOnceThenSendsMotionThatDeliversItsExactSpeed) {
  PointerPlanner planner(300);
  // 530 points per second is 5.3 points per 10 ms, between two whole samples.
  const Vec2 path = travelled(planner, {530, 0}, 125);
  // One tick's way more: the move of the first tick, which moves the pointer at once.
  EXPECT_NEAR(path.x, 530 + 530 * kTick, 1);
  EXPECT_TRUE(planner.motionRunning());
  // Stopped, then steered fast again: the first tick moves the pointer at once as well.
  travelled(planner, {}, 1);
  const TickPlan first = planner.plan({0, -900}, kTick, true);
  EXPECT_EQ(first.move, (Step{0, -7}));
  EXPECT_EQ(first.motion, (Step{0, -9}));
}

TEST(PointerPlanner, SlowingDownOrStoppingEndsTheMotionFirst) {
  PointerPlanner planner(300);
  planner.plan({800, 0}, kTick, true);
  const TickPlan slower = planner.plan({200, 0}, kTick, true);
  EXPECT_TRUE(slower.stopMotion);
  EXPECT_FALSE(slower.motion);
  planner.plan({800, 0}, kTick, true);
  TickPlan stop;
  stop.stopMotion = true;
  EXPECT_EQ(planner.plan({}, kTick, true), stop);
  EXPECT_EQ(planner.plan({}, kTick, true), TickPlan{});
}

}  // namespace
}  // namespace virelo::steer
