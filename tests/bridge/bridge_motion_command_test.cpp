// The "motion" command: staleness boundaries, restart of the step clock, the zero sample.
#include <gtest/gtest.h>

#include "bridge_test_util.h"

namespace virelo::testing {
namespace {

using json = nlohmann::json;

const json kStale = {{"ok", true}, {"ready", true}, {"dropped", "stale_motion"}};

class MotionCommand : public CorehidBridgeTest {
 protected:
  json motion(int fd, std::int64_t dx, std::int64_t dy, const json& t) {
    return cmd(fd, {{"cmd", "motion"}, {"dx", dx}, {"dy", dy}, {"t_ns", t}});
  }
  static void expectStopped(const Owner& owner) {
    EXPECT_EQ(owner.vx, 0);
    EXPECT_EQ(owner.vy, 0);
    EXPECT_EQ(owner.fractionX, 0);
    EXPECT_EQ(owner.fractionY, 0);
    EXPECT_EQ(owner.motionAt, 0u);
    EXPECT_EQ(owner.steppedAt, 0u);
  }
  std::uint64_t now() const { return rig.clock.now(); }
};

TEST_F(MotionCommand, AcceptedSampleSetsVelocityStampAndStepClock) {
  int fd = rig.connectAuthenticated();
  std::uint64_t t = now() - 1'000'000;
  EXPECT_EQ(motion(fd, 3, -2, t), kAck);
  const Owner& owner = rig.owner(fd);
  EXPECT_DOUBLE_EQ(owner.vx, 300.0);
  EXPECT_DOUBLE_EQ(owner.vy, -200.0);
  EXPECT_EQ(owner.motionAt, t);
  EXPECT_EQ(owner.steppedAt, now());
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
}

TEST_F(MotionCommand, OnePointFiveMillisecondsAheadIsAccepted) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(motion(fd, 1, 0, now() + 1'500'000), kAck);
  EXPECT_EQ(rig.owner(fd).motionAt, now() + 1'500'000);
}

TEST_F(MotionCommand, ExactlyTwoMillisecondsAheadIsAcceptedOneMoreNanosecondIsStale) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(motion(fd, 1, 0, now() + 2'000'000), kAck);
  int other = rig.connectAuthenticated();
  EXPECT_EQ(motion(other, 1, 0, now() + 2'000'001), kStale);
}

TEST_F(MotionCommand, TwoPointFiveMillisecondsAheadIsStale) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(motion(fd, 1, 0, now() + 2'500'000), kStale);
  expectStopped(rig.owner(fd));
}

TEST_F(MotionCommand, ExactlyFortyMillisecondsOldIsStale) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(motion(fd, 1, 0, now() - 40'000'000), kStale);
  expectStopped(rig.owner(fd));
}

TEST_F(MotionCommand, ThirtyNinePointNineMillisecondsOldIsAccepted) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(motion(fd, 1, 0, now() - 39'900'000), kAck);
  EXPECT_NE(rig.owner(fd).motionAt, 0u);
}

TEST_F(MotionCommand, SameStampAsPreviousIsAcceptedOneNanosecondOlderIsStale) {
  int fd = rig.connectAuthenticated();
  std::uint64_t t = now() - 5'000'000;
  EXPECT_EQ(motion(fd, 1, 0, t), kAck);
  EXPECT_EQ(motion(fd, 2, 0, t), kAck);
  EXPECT_DOUBLE_EQ(rig.owner(fd).vx, 200.0);
  EXPECT_EQ(motion(fd, 3, 0, t - 1), kStale);
  expectStopped(rig.owner(fd));
}

TEST_F(MotionCommand, StaleSampleStopsRunningMotion) {
  int fd = rig.connectAuthenticated();
  motion(fd, 5, 5, now());
  EXPECT_EQ(motion(fd, 5, 5, now() + 10'000'000), kStale);
  expectStopped(rig.owner(fd));
}

TEST_F(MotionCommand, ZeroSampleIsAcknowledgedAndLeavesAllSixFieldsZero) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(motion(fd, 0, 0, now()), kAck);
  expectStopped(rig.owner(fd));
  motion(fd, 4, 4, now());
  EXPECT_EQ(motion(fd, 0, 0, now()), kAck);
  expectStopped(rig.owner(fd));
  EXPECT_EQ(rig.devices.reportCount("mouse"), 0u);
}

TEST_F(MotionCommand, ZeroStampIsAProtocolErrorNotAStaleReply) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "motion"}, {"dx", 1}, {"dy", 0}, {"t_ns", 0}}),
            Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "motion"}, {"dx", 1}, {"dy", 0}, {"t_ns", -5}}),
            Failure::protocolError);
}

TEST_F(MotionCommand, LargestStampReadsAsAnIntegerAndIsStaleBeyondItProtocolError) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(motion(fd, 1, 0, json::parse("9223372036854775807")), kStale);
  EXPECT_EQ(
      failureOfCommand(
          fd,
          {{"cmd", "motion"}, {"dx", 1}, {"dy", 0}, {"t_ns", json::parse("9223372036854775808")}}),
      Failure::protocolError);
}

TEST_F(MotionCommand, MissingOrBadFieldsAreProtocolErrors) {
  int fd = rig.connectAuthenticated();
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "motion"}, {"dx", 1}, {"dy", 0}}),
            Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "motion"}, {"dx", 128}, {"dy", 0}, {"t_ns", now()}}),
            Failure::protocolError);
  EXPECT_EQ(failureOfCommand(fd, {{"cmd", "motion"}, {"dx", 1}, {"dy", "0"}, {"t_ns", now()}}),
            Failure::protocolError);
  EXPECT_EQ(failureOfCommand(
                fd, {{"cmd", "motion"}, {"dx", 1}, {"dy", 0}, {"t_ns", std::to_string(now())}}),
            Failure::protocolError);
}

TEST_F(MotionCommand, SampleWhileRunningKeepsTheStepClock) {
  int fd = rig.connectAuthenticated();
  std::uint64_t start = now();
  motion(fd, 1, 0, start);
  rig.clock.advance(8'000'000);
  rig.bridge->tick();
  std::uint64_t stepped = rig.owner(fd).steppedAt;
  ASSERT_EQ(stepped, start + 8'000'000);
  rig.clock.advance(3'000'000);
  motion(fd, 2, 0, now());
  EXPECT_EQ(rig.owner(fd).steppedAt, stepped);
  EXPECT_NE(rig.owner(fd).fractionX, 0);
}

TEST_F(MotionCommand, SampleAfterTheLapseRestartsTheStepClockAndFractions) {
  int fd = rig.connectAuthenticated();
  std::uint64_t start = now();
  motion(fd, 1, 0, start);
  rig.clock.advance(8'000'000);
  rig.bridge->tick();
  ASSERT_NE(rig.owner(fd).fractionX, 0);
  rig.clock.set(start + 40'000'000);  // no tick ran: the record still holds the old motion
  EXPECT_EQ(motion(fd, 1, 0, now()), kAck);
  EXPECT_EQ(rig.owner(fd).steppedAt, now());
  EXPECT_EQ(rig.owner(fd).fractionX, 0);
}

}  // namespace
}  // namespace virelo::testing
