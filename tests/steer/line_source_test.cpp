// Steering by lines from another program.
#include "tools/steer/line_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace virelo::steer {
namespace {

TEST(LineSource, VelocitiesHoldPositionsMoveByTheirDifferenceAndTheEndEndsSteering) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  LineSource source(fds[0]);
  const std::string lines =
      "velocity 120 -40\nposition 10 10\nposition 25 5\nhello\nvelocity 1\nposition 30 1";
  ASSERT_EQ(::write(fds[1], lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  Frame frame = source.read();
  EXPECT_EQ(frame.velocity, (Vec2{120, -40}));
  EXPECT_EQ(frame.jump, (Vec2{15, -5}));
  EXPECT_EQ(source.ignored(), 2u);
  EXPECT_FALSE(frame.ended);
  // The last line is complete once its newline comes; then the input ends.
  ASSERT_EQ(::write(fds[1], "\n", 1), 1);
  ::close(fds[1]);
  frame = source.read();
  EXPECT_EQ(frame.jump, (Vec2{5, -4}));
  EXPECT_EQ(frame.velocity, (Vec2{120, -40}));
  EXPECT_TRUE(frame.ended);
  ::close(fds[0]);
}

}  // namespace
}  // namespace virelo::steer
