// Cursor snapping of the real service with the "cgevent" backend: an application of the
// simulated accessibility host has a window with a close button; snapped moves toward it jump to
// its centre, a resting cursor near it is pulled onto it.
#include <gtest/gtest.h>

#include <thread>

#include "core/monotonic_clock.h"
#include "tests/support/host_control.h"
#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"
#include "tests/support/test_client.h"

namespace virelo::test {
namespace {

constexpr int kPid = 4242;

// A window at (100, 100) of 800 x 600 whose close button is the 14 x 14 square at (110, 105),
// centre (117, 112), and a plain button at (600, 400) of 30 x 20, centre (615, 410).
nlohmann::json world(const std::string& bundleIdentifier, bool trusted = true) {
  nlohmann::json elements = {
      {{"id", "win"},
       {"role", "AXWindow"},
       {"frame", {100, 100, 800, 600}},
       {"parent", "app:4242"},
       {"closeButton", "close"}},
      {{"id", "close"}, {"role", "AXButton"}, {"frame", {110, 105, 14, 14}}, {"parent", "win"}},
      {{"id", "ok"}, {"role", "AXButton"}, {"frame", {600, 400, 30, 20}}, {"parent", "win"}},
  };
  return {
      {"trusted", trusted},
      {"cursor", {200, 130}},
      {"windows", {{{"pid", kPid}, {"layer", 0}, {"bounds", {100, 100, 800, 600}}}}},
      {"apps",
       {{std::to_string(kPid),
         {{"bundleIdentifier", bundleIdentifier}, {"windows", {"win"}}, {"elements", elements}}}}}};
}

class Snapping : public testing::Test {
 protected:
  void start(nlohmann::json w) {
    ServiceOptions options;
    options.backend = "cgevent";
    options.world = std::move(w);
    service_ = std::make_unique<ServiceProcess>(options);
    service_->awaitReady();
    client_ = std::make_unique<TestClient>(service_->socketPath());
    client_->hello(service_->token());
  }
  nlohmann::json cursor() {
    return hostRequest(service_->controlPath(), {{"request", "state"}})["cursor"];
  }
  // Slow moves of (dx, dy), `count` times, 30 ms apart (about 170 points per second).
  void slowMoves(int dx, int dy, int count, const nlohmann::json& snap = true) {
    for (int i = 0; i < count; ++i) {
      nlohmann::json move = {{"cmd", "move"}, {"dx", dx}, {"dy", dy}};
      if (!snap.is_null()) move["snap"] = snap;
      client_->command(move);
      std::this_thread::sleep_for(30ms);
    }
  }

  std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<TestClient> client_;
};

TEST_F(Snapping, SlowSnappedMoveLandsOnTheTitleBarButtonsCentre) {
  start(world("org.example.editor"));
  // From (200, 130) toward the close button; the band 24 points around it starts at x = 148,
  // which the 11th move enters.
  slowMoves(-5, 0, 10);
  EXPECT_EQ(cursor(), (nlohmann::json{150.0, 130.0}));
  slowMoves(-5, 0, 1);
  EXPECT_EQ(cursor(), (nlohmann::json{117.0, 112.0}));
  // Moving on within and across the same target is free.
  slowMoves(-5, 0, 1);
  EXPECT_EQ(cursor(), (nlohmann::json{112.0, 112.0}));
}

TEST_F(Snapping, ADeskAtTwiceTheScaleSnapsAsAnUnscaledOneDoes) {
  // The same desk drawn at 200 %: every position and size doubled, in the window server's pixels.
  nlohmann::json scaled = world("org.example.editor");
  scaled["deskScale"] = 2;
  scaled["cursor"] = {400, 260};
  scaled["windows"][0]["bounds"] = {200, 200, 1600, 1200};
  auto& elements = scaled["apps"][std::to_string(kPid)]["elements"];
  for (auto& element : elements) {
    for (auto& value : element["frame"]) value = value.get<int>() * 2;
  }
  scaled["displays"] = {{0, 0, 3840, 2160}};
  start(scaled);
  // Moves of 10 pixels (5 points) toward the close button: its band of 24 points (48 pixels)
  // starts at x = 296, which the 11th move enters, as in the unscaled desk.
  slowMoves(-10, 0, 10);
  EXPECT_EQ(cursor(), (nlohmann::json{300.0, 260.0}));
  slowMoves(-10, 0, 1);
  EXPECT_EQ(cursor(), (nlohmann::json{234.0, 224.0}));
}

TEST_F(Snapping, MovesWithoutSnapNeverSnap) {
  for (const nlohmann::json& snap : {nlohmann::json(false), nlohmann::json()}) {
    start(world("org.example.editor"));
    slowMoves(-5, 0, 14, snap);
    EXPECT_EQ(cursor(), (nlohmann::json{130.0, 130.0})) << snap.dump();
  }
}

TEST_F(Snapping, RestingCursorIsPulledOntoANearbyButton) {
  start(world("org.example.editor"));
  // A snapped move that stops 20 points left of the "OK" button, outside its 24-point capture by
  // a fast approach; 100 ms of stillness later the wide search pulls it onto the centre.
  hostRequest(service_->controlPath(), {{"request", "cursor"}, {"x", 480}, {"y", 410}});
  client_->command({{"cmd", "move"}, {"dx", 100}, {"dy", 0}, {"snap", true}});
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(cursor(), (nlohmann::json{615.0, 410.0}));
}

TEST_F(Snapping, ButtonHeldStopsThePull) {
  start(world("org.example.editor"));
  hostRequest(service_->controlPath(), {{"request", "cursor"}, {"x", 480}, {"y", 410}});
  client_->command({{"cmd", "move"}, {"dx", 100}, {"dy", 0}, {"snap", true}});
  client_->command({{"cmd", "buttons"}, {"buttons", 1}});
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(cursor(), (nlohmann::json{580.0, 410.0}));
}

TEST_F(Snapping, MoveWithoutSnapCancelsAPendingPull) {
  start(world("org.example.editor"));
  hostRequest(service_->controlPath(), {{"request", "cursor"}, {"x", 480}, {"y", 410}});
  client_->command({{"cmd", "move"}, {"dx", 100}, {"dy", 0}, {"snap", true}});
  client_->command({{"cmd", "move"}, {"dx", 1}, {"dy", 0}, {"snap", false}});
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(cursor(), (nlohmann::json{581.0, 410.0}));
}

TEST_F(Snapping, ContinuousMotionNeverSnaps) {
  start(world("org.example.editor"));
  hostRequest(service_->controlPath(), {{"request", "cursor"}, {"x", 570}, {"y", 410}});
  // 1000 points per second for about 25 ms: into the button's band, never onto its centre.
  client_->command({{"cmd", "motion"}, {"dx", 10}, {"dy", 0}, {"t_ns", monotonicNS()}});
  std::this_thread::sleep_for(300ms);
  auto at = cursor();
  EXPECT_NE(at, (nlohmann::json{615.0, 410.0}));
  EXPECT_GT(at[0].get<double>(), 570.0);
}

TEST_F(Snapping, BrowserContentIsNoTargetButItsTitleBarButtonsAre) {
  start(world("com.google.Chrome"));
  hostRequest(service_->controlPath(), {{"request", "cursor"}, {"x", 480}, {"y", 410}});
  client_->command({{"cmd", "move"}, {"dx", 100}, {"dy", 0}, {"snap", true}});
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(cursor(), (nlohmann::json{580.0, 410.0}));
  hostRequest(service_->controlPath(), {{"request", "cursor"}, {"x", 200}, {"y", 130}});
  slowMoves(-5, 0, 11);
  EXPECT_EQ(cursor(), (nlohmann::json{117.0, 112.0}));
}

TEST_F(Snapping, WithoutTrustNothingSnapsAndNothingFails) {
  start(world("org.example.editor", false));
  slowMoves(-5, 0, 14);
  EXPECT_EQ(cursor(), (nlohmann::json{130.0, 130.0}));
  EXPECT_EQ(client_->command({{"cmd", "status"}}), (nlohmann::json{{"ok", true}, {"ready", true}}));
}

TEST_F(Snapping, SlowAccessibilityAnswersNeverHoldUpTheService) {
  // Every answer of the application takes 45 ms: a wide search of 25 samples runs for more than
  // a second on the search queue, while the main loop keeps answering and ticking.
  auto w = world("org.example.editor");
  w["apps"][std::to_string(kPid)]["delayMs"] = 45;
  start(w);
  hostRequest(service_->controlPath(), {{"request", "cursor"}, {"x", 480}, {"y", 410}});
  client_->command({{"cmd", "move"}, {"dx", 100}, {"dy", 0}, {"snap", true}});
  std::this_thread::sleep_for(150ms);  // the wide search has started
  HostTrace trace(service_->tracePath());
  auto before = trace.events().size();
  client_->command({{"cmd", "motion"}, {"dx", 10}, {"dy", 0}, {"t_ns", monotonicNS()}});
  for (int i = 0; i < 20; ++i) {
    auto sent = std::chrono::steady_clock::now();
    client_->send({{"cmd", "status"}});
    ASSERT_TRUE(client_->readLine(2s));
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 200ms);
  }
  std::this_thread::sleep_for(30ms);
  // Motion ticks went on meanwhile.
  int moves = 0;
  auto events = trace.events();
  for (auto i = before; i < events.size(); ++i) {
    if (events[i]["event"] == "post" && events[i]["type"] == 5) ++moves;
  }
  EXPECT_GE(moves, 1);
}

}  // namespace
}  // namespace virelo::test
