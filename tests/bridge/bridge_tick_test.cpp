// The motion tick: integration, the step cap, the lapse, clamping and the event-output work.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "bridge_test_util.h"

namespace virelo::testing {
namespace {

using json = nlohmann::json;

constexpr std::uint64_t kTick = 8'000'000;

std::int8_t signedX(const Bytes& report) {
  return static_cast<std::int8_t>(report.at(1));
}
std::int8_t signedY(const Bytes& report) {
  return static_cast<std::int8_t>(report.at(2));
}

class MotionTick : public CorehidBridgeTest {
 protected:
  void motion(int fd, std::int64_t dx, std::int64_t dy) {
    ASSERT_EQ(cmd(fd, {{"cmd", "motion"}, {"dx", dx}, {"dy", dy}, {"t_ns", rig.clock.now()}}),
              json({{"ok", true}, {"ready", true}}));
  }
  // Advances the clock by one tick interval and ticks; returns the mouse report sent, if any.
  std::optional<Bytes> tickAfter(std::uint64_t ns) {
    std::size_t before = rig.devices.reportCount("mouse");
    rig.clock.advance(ns);
    rig.bridge->tick();
    auto reports = rig.devices.reports("mouse");
    if (reports.size() == before) return std::nullopt;
    EXPECT_EQ(reports.size(), before + 1);
    return reports.back();
  }
};

TEST_F(MotionTick, WorkedExampleOneCountPerTenMilliseconds) {
  int fd = rig.connectAuthenticated();
  motion(fd, 1, 0);
  const int expectedBytes[] = {0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0};
  const double expectedFractions[] = {0.8, 0.6, 0.4, 0.2, 0.0, 0.8, 0.6, 0.4, 0.2, 0.0, 0.8};
  for (int i = 0; i < 11; ++i) {
    auto report = tickAfter(kTick);
    ASSERT_TRUE(report) << i;
    EXPECT_EQ(signedX(*report), expectedBytes[i]) << "tick " << i;
    EXPECT_EQ(signedY(*report), 0) << "tick " << i;
    EXPECT_NEAR(rig.owner(fd).fractionX, expectedFractions[i], 1e-9) << "tick " << i;
    motion(fd, 1, 0);  // keep the motion from lapsing; the step clock runs on
  }
}

TEST_F(MotionTick, WorkedExampleNegativeDirection) {
  int fd = rig.connectAuthenticated();
  motion(fd, -1, 0);
  const int expectedBytes[] = {0, -1, -1, -1, -1, 0, -1, -1, -1, -1, 0};
  const double expectedFractions[] = {-0.8, -0.6, -0.4, -0.2, 0.0, -0.8,
                                      -0.6, -0.4, -0.2, 0.0,  -0.8};
  for (int i = 0; i < 11; ++i) {
    auto report = tickAfter(kTick);
    ASSERT_TRUE(report) << i;
    EXPECT_EQ(signedX(*report), expectedBytes[i]) << "tick " << i;
    EXPECT_NEAR(rig.owner(fd).fractionX, expectedFractions[i], 1e-9) << "tick " << i;
    EXPECT_LE(rig.owner(fd).fractionX, 1e-9) << "remainder keeps the sign of the motion";
    motion(fd, -1, 0);
  }
}

TEST_F(MotionTick, ThousandCountsPerSecondMoveEightPerTickWithoutRemainder) {
  int fd = rig.connectAuthenticated();
  motion(fd, 10, -10);
  for (int i = 0; i < 4; ++i) {
    auto report = tickAfter(kTick);
    ASSERT_TRUE(report);
    EXPECT_EQ(signedX(*report), 8);
    EXPECT_EQ(signedY(*report), -8);
    EXPECT_NEAR(rig.owner(fd).fractionX, 0.0, 1e-9);
  }
}

TEST_F(MotionTick, LateTickMovesAtMostEightMillisecondsWorth) {
  int fd = rig.connectAuthenticated();
  motion(fd, 10, 0);
  auto report = tickAfter(30'000'000);
  ASSERT_TRUE(report);
  EXPECT_EQ(signedX(*report), 8);
  EXPECT_EQ(rig.owner(fd).steppedAt, rig.clock.now());
}

TEST_F(MotionTick, MotionLapsesFortyMillisecondsAfterTheLastSample) {
  int fd = rig.connectAuthenticated();
  std::uint64_t t = rig.clock.now();
  motion(fd, 10, 0);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(tickAfter(kTick));  // T + 32 ms
  auto stillMoving = tickAfter(7'900'000);                    // T + 39.9 ms
  ASSERT_TRUE(stillMoving);
  EXPECT_NE(signedX(*stillMoving), 0);
  EXPECT_NE(rig.owner(fd).motionAt, 0u);
  auto lapsed = tickAfter(100'000);  // T + 40 ms
  ASSERT_TRUE(lapsed);
  EXPECT_EQ(*lapsed, Bytes({0, 0, 0, 0}));
  EXPECT_EQ(rig.owner(fd).motionAt, 0u);
  EXPECT_EQ(rig.owner(fd).steppedAt, 0u);
  EXPECT_EQ(rig.owner(fd).vx, 0);
  EXPECT_EQ(rig.clock.now(), t + 40'000'000);
  EXPECT_FALSE(tickAfter(kTick));
}

TEST_F(MotionTick, OpposingClientsCancelButAReportIsStillSentEveryTick) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  motion(a, 50, 0);
  motion(b, -50, 0);
  for (int i = 0; i < 3; ++i) {
    auto report = tickAfter(kTick);
    ASSERT_TRUE(report);
    EXPECT_EQ(*report, Bytes({0, 0, 0, 0}));
    motion(a, 50, 0);
    motion(b, -50, 0);
  }
}

TEST_F(MotionTick, SumBeyondTheByteIsClampedTo127AndNotCarried) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  motion(a, 127, -127);
  motion(b, 127, -127);
  auto report = tickAfter(kTick);
  ASSERT_TRUE(report);
  EXPECT_EQ(signedX(*report), 127);
  EXPECT_EQ(signedY(*report), -127);
  EXPECT_NEAR(rig.owner(a).fractionX, 0.6, 1e-9);
  EXPECT_NEAR(std::abs(rig.owner(a).fractionY), 0.6, 1e-9);
}

TEST_F(MotionTick, ButtonsRideAlongAndTheRestReportFollows) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "buttons"}, {"buttons", 1}});
  motion(fd, 10, 0);
  auto report = tickAfter(kTick);
  ASSERT_TRUE(report);
  EXPECT_EQ(*report, Bytes({1, 8, 0, 0}));
  EXPECT_EQ(rig.hid->mouseDelegate().input(), Bytes({1, 0, 0, 0}));
}

TEST_F(MotionTick, NothingIsSentWhenNoClientMoves) {
  rig.connectAuthenticated();
  EXPECT_FALSE(tickAfter(kTick));
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 0u);
}

TEST_F(MotionTick, DisconnectedMovingClientNoLongerContributes) {
  int a = rig.connectAuthenticated();
  int b = rig.connectAuthenticated();
  motion(a, 10, 0);
  motion(b, 20, 0);
  rig.client(b).closePeer();
  rig.clock.advance(kTick);
  rig.bridge->tick();
  EXPECT_FALSE(rig.admitted(b));
  EXPECT_FALSE(rig.bridge->pendingRelease());
  // The release of the dropped client, then the step of the remaining one.
  auto reports = rig.devices.reports("mouse");
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], Bytes({0, 0, 0, 0}));
  EXPECT_EQ(signedX(reports[1]), 8);
}

TEST(MotionTickNotReady, ReturnsWithoutSendingSteppingOrRepeating) {
  RecordingEventOutput::Script script;
  script.permitted = false;
  BridgeRig rig(InputBackend::cgevent, std::make_unique<RecordingEventOutput>(script));
  script.permitted = true;
  rig.bridge->start();
  int fd = rig.connectAuthenticated();
  rig.command(fd, {{"cmd", "motion"}, {"dx", 10}, {"dy", 0}, {"t_ns", rig.clock.now()}});
  script.permitted = false;
  ASSERT_TRUE(rig.bridge->applyPermission());
  script.calls.clear();
  rig.clock.advance(kTick);
  rig.bridge->tick();
  EXPECT_TRUE(script.calls.empty());
  EXPECT_EQ(rig.owner(fd).fractionX, 0);
  EXPECT_EQ(rig.owner(fd).steppedAt, 0u);
}

// ---------------------------------------------------------------------------------------------
// The event-synthesis backend's share of the tick

class MotionTickCgevent : public CgeventBridgeTest {};

TEST_F(MotionTickCgevent, RepeatTickRunsEveryTickAndMotionIsNeverSnapped) {
  int fd = rig.connectAuthenticated();
  rig.bridge->tick();
  EXPECT_EQ(callsNamed(script, "repeatTick").size(), 1u);
  EXPECT_TRUE(callsNamed(script, "pointing").empty());
  cmd(fd, {{"cmd", "motion"}, {"dx", 10}, {"dy", 0}, {"t_ns", rig.clock.now()}});
  rig.clock.advance(kTick);
  rig.bridge->tick();
  EXPECT_EQ(callsNamed(script, "repeatTick").size(), 2u);
  EXPECT_EQ(callsNamed(script, "repeatTick").back().now, rig.clock.now());
  auto pointing = callsNamed(script, "pointing");
  ASSERT_EQ(pointing.size(), 1u);
  EXPECT_EQ(pointing[0].report, Bytes({0, 8, 0, 0}));
  EXPECT_FALSE(pointing[0].flag);
}

TEST_F(MotionTickCgevent, PendingReleaseIsSentThroughTheEventOutput) {
  int fd = rig.connectAuthenticated();
  cmd(fd, {{"cmd", "keyboard"}, {"modifiers", 0}, {"keys", {4}}});
  script.calls.clear();
  rig.client(fd).closePeer();
  rig.bridge->tick();
  ASSERT_GE(script.calls.size(), 4u);
  EXPECT_EQ(script.calls[0].name, "keyboard");
  EXPECT_EQ(script.calls[0].report, keyboardBytes(0, {}));
  EXPECT_EQ(script.calls[1].name, "consumer");
  EXPECT_EQ(script.calls[2].name, "pointing");
  EXPECT_EQ(script.calls[3].name, "repeatTick");
}

// A source whose wide search finds one target at once: a 20 x 20 button 30 points right of (100,
// 100), close enough for a resting cursor there to be pulled onto it.
class ButtonBesideSource final : public SnapTargetSource {
 public:
  std::vector<Rect> targets() override { return {}; }
  void refresh(Point, std::uint64_t) override {}
  void scanWide(Point) override { wide_ = {makeRect(130, 90, 20, 20)}; }
  std::optional<std::vector<Rect>> takeWide() override { return std::exchange(wide_, {}); }

 private:
  std::optional<std::vector<Rect>> wide_;
};

TEST(MotionTickSnapping, NoRestingPullWhileMotionMovesThePointer) {
  RecordingEventOutput::Script script;
  script.cursor = Point{100, 100};
  BridgeRig rig(InputBackend::cgevent, std::make_unique<RecordingEventOutput>(script),
                std::make_shared<ButtonBesideSource>());
  rig.bridge->start();
  int fd = rig.connectAuthenticated();
  // A slow snapped move, as a client steering slowly sends, then steering goes on with motion
  // (one count per tick: the cursor the pull compares stays within a point of where it was).
  ASSERT_TRUE(script.snapStep);
  script.snapStep({99, 100}, {1, 0}, false, rig.clock.now());
  for (int i = 0; i < 40; ++i) {
    rig.command(fd, {{"cmd", "motion"}, {"dx", 1}, {"dy", 0}, {"t_ns", rig.clock.now()}});
    rig.clock.advance(kTick);
    rig.bridge->tick();
  }
  EXPECT_TRUE(callsNamed(script, "moveCursor").empty());
  // Once steering ends and the pointer rests after a snapped move, the pull is made.
  rig.command(fd, {{"cmd", "stop_motion"}});
  script.snapStep({99, 100}, {1, 0}, false, rig.clock.now());
  for (int i = 0; i < 20; ++i) {
    rig.clock.advance(kTick);
    rig.bridge->tick();
  }
  ASSERT_EQ(callsNamed(script, "moveCursor").size(), 1u);
  EXPECT_EQ(callsNamed(script, "moveCursor")[0].point, Point(140, 100));
}

TEST(MotionTickCorehid, MakesOnlyMouseDispatches) {
  BridgeRig rig(InputBackend::corehid);
  rig.bridge->start();
  rig.devices.forgetReports();
  int fd = rig.connectAuthenticated();
  rig.command(fd, {{"cmd", "motion"}, {"dx", 3}, {"dy", 0}, {"t_ns", rig.clock.now()}});
  for (int i = 0; i < 3; ++i) {
    rig.clock.advance(kTick);
    rig.bridge->tick();
  }
  EXPECT_EQ(rig.devices.reportCount("mouse"), 3u);
  EXPECT_EQ(rig.devices.reportCount("keyboard"), 0u);
  EXPECT_EQ(rig.devices.reportCount("media"), 0u);
}

}  // namespace
}  // namespace virelo::testing
