// Continuous motion through the helper thread, seen as mouse reports in the host's trace.
#include <gtest/gtest.h>

#include <thread>

#include "platform/hex.h"
#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"
#include "virelo/client/client.h"
#include "virelo/client/errors.h"
#include "virelo/client/motion.h"

namespace virelo::client {
namespace {

using test::HostTrace;
using test::ServiceProcess;
using namespace std::chrono_literals;

struct MouseReport {
  int buttons;
  int dx;
  int dy;
};

std::vector<MouseReport> mouseReports(const HostTrace& trace) {
  std::vector<MouseReport> out;
  for (const auto& hex : trace.reports("mouse")) {
    auto bytes = fromHex(hex).value();
    out.push_back(
        {bytes[0], static_cast<std::int8_t>(bytes[1]), static_cast<std::int8_t>(bytes[2])});
  }
  return out;
}

int totalDx(const std::vector<MouseReport>& reports) {
  int sum = 0;
  for (const auto& r : reports) sum += r.dx;
  return sum;
}

class MotionStreamTest : public testing::Test {
 protected:
  void SetUp() override {
    service_.awaitReady();
    client_ = std::make_unique<Client>(service_.socketPath());
    client_->hello(service_.token());
  }

  ServiceProcess service_;
  HostTrace trace_{service_.tracePath()};
  std::unique_ptr<Client> client_;
};

TEST_F(MotionStreamTest, SamplesMoveThePointerUntilStopped) {
  MotionStream stream(*client_);
  stream.start(10, 0);
  EXPECT_TRUE(stream.running());
  // 10 counts per 10 ms: the pointer moves right while samples keep coming.
  ASSERT_TRUE(trace_.waitFor([&](const auto&) { return totalDx(mouseReports(trace_)) >= 100; }));
  stream.stop();
  EXPECT_FALSE(stream.running());
  EXPECT_GT(stream.samplesSent(), 0u);
  EXPECT_EQ(stream.staleSamples(), 0u);
  for (const auto& r : mouseReports(trace_)) {
    EXPECT_GE(r.dx, 0);
    EXPECT_EQ(r.dy, 0);
  }
  // After "stop_motion" the ticks send nothing more.
  std::this_thread::sleep_for(60ms);
  auto settled = trace_.reports("mouse").size();
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(trace_.reports("mouse").size(), settled);
}

TEST_F(MotionStreamTest, VelocityChangesWhileRunning) {
  MotionStream stream(*client_);
  stream.start(0, 5);
  ASSERT_TRUE(trace_.waitFor([&](const auto&) {
    for (const auto& r : mouseReports(trace_)) {
      if (r.dy > 0) return true;
    }
    return false;
  }));
  stream.setVelocity(0, -5);
  ASSERT_TRUE(trace_.waitFor([&](const auto&) {
    for (const auto& r : mouseReports(trace_)) {
      if (r.dy < 0) return true;
    }
    return false;
  }));
  stream.stop();
}

TEST_F(MotionStreamTest, TheOwnerKeepsUsingTheClientForADrag) {
  MotionStream stream(*client_);
  client_->pressButtons(button::primary);
  stream.start(6, 0);
  ASSERT_TRUE(trace_.waitFor([&](const auto&) {
    for (const auto& r : mouseReports(trace_)) {
      if (r.buttons == 1 && r.dx > 0) return true;
    }
    return false;
  }));
  client_->releaseButtons(button::primary);
  stream.stop();
  EXPECT_EQ(trace_.reports("mouse").back().substr(0, 2), "00");
}

TEST_F(MotionStreamTest, ALostConnectionEndsTheStreamAndStopReportsIt) {
  MotionStream stream(*client_);
  stream.start(1, 1);
  service_.closeStdin();
  ASSERT_EQ(service_.waitExit(), 0);
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (stream.running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_FALSE(stream.running());
  EXPECT_THROW(stream.stop(), ConnectionLost);
}

TEST_F(MotionStreamTest, StartingTwiceIsALogicError) {
  MotionStream stream(*client_);
  stream.start(1, 0);
  EXPECT_THROW(stream.start(1, 0), std::logic_error);
  stream.stop();
  stream.stop();  // a second stop does nothing
}

}  // namespace
}  // namespace virelo::client
