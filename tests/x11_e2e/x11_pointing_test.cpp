// Absolute pointing on a real X server with the "cgevent" backend: the client library, the
// virelo tool's "mousemove", "mouseto" and "getmouselocation", and the script verb "mousemove".
#include <xcb/xtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/support/private_dir.h"
#include "tests/tools/tool_process.h"
#include "tests/x11_e2e/x11_desktop_fixture.h"
#include "virelo/client/x11.h"

namespace virelo::test {
namespace {

class X11Pointing : public X11Desktop {
 protected:
  void SetUp() override {
    X11Desktop::SetUp();
    if (IsSkipped()) return;
    startDesktop();
    if (!HasFatalFailure()) client_ = connect();
  }
  std::string display() const { return desktop_->server->display(); }
  std::map<std::string, std::string> environment() const {
    return {{"VIRELO_SOCKET", service_->socketPath()},
            {"VIRELO_TOKEN", service_->token()},
            {"DISPLAY", display()}};
  }
  client::PointerPosition pointer() {
    XObserver::PointerState state = probe_->pointer();
    return {state.x, state.y};
  }

  std::unique_ptr<client::Client> client_;
};

TEST_F(X11Pointing, MoveToLandsExactlyAcrossTheScreen) {
  auto screen = client::screenArea(display().c_str());
  ASSERT_TRUE(screen);
  for (client::PointerPosition target : {client::PointerPosition{0, 0},
                                         {screen->width - 1, screen->height - 1},
                                         {333, 517},
                                         {334, 517}}) {
    EXPECT_EQ(client::moveTo(*client_, display().c_str(), target), target);
    EXPECT_EQ(pointer(), target);
  }
}

// As xte scripts do: other clients queue XTEST moves by the thousand, and the server is still
// applying them when the pointer is placed. Four of them, so that the server always has moves of
// one at hand while the others write theirs.
TEST_F(X11Pointing, MoveToWaitsOutMotionOtherClientsStillHaveQueued) {
  constexpr int kClients = 4;
  constexpr int kMoves = 20000;
  std::vector<std::thread> bursts;
  for (int c = 0; c < kClients; ++c) {
    bursts.emplace_back([this] {
      xcb_connection_t* other = xcb_connect(display().c_str(), nullptr);
      const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
      for (int i = 0; i < kMoves; ++i) {
        const auto x = static_cast<std::int16_t>(600 + i % 2 + i / 1000);
        xcb_test_fake_input(other, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, x, 317, 0);
      }
      std::free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
      xcb_disconnect(other);
    });
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (pointer().y != 317 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();  // until the bursts have begun
  }
  EXPECT_EQ(client::moveTo(*client_, display().c_str(), {60, 130}),
            (client::PointerPosition{60, 130}));
  for (auto& burst : bursts) burst.join();
  EXPECT_EQ(pointer(), (client::PointerPosition{60, 130}));
}

TEST_F(X11Pointing, TheToolPlacesAndReadsThePointer) {
  auto moved = client::runTool({"mousemove", "250", "140"}, environment());
  ASSERT_EQ(moved.status, 0) << moved.errors;
  EXPECT_EQ(pointer(), (client::PointerPosition{250, 140}));
  auto read = client::runTool({"getmouselocation", "--json"}, environment());
  EXPECT_EQ(read.status, 0) << read.errors;
  EXPECT_EQ(read.output, "{\"x\":250,\"y\":140,\"screen\":0}\n");

  auto screen = client::screenArea(display().c_str());
  ASSERT_TRUE(screen);
  auto centred = client::runTool({"mouseto", "0.5", "0.5"}, environment());
  ASSERT_EQ(centred.status, 0) << centred.errors;
  EXPECT_EQ(pointer(),
            (client::PointerPosition{static_cast<int>(std::lround(0.5 * (screen->width - 1))),
                                     static_cast<int>(std::lround(0.5 * (screen->height - 1)))}));
}

TEST_F(X11Pointing, AScriptMovesToAScreenPosition) {
  PrivateDir dir;
  writeFile(dir / "script", "mousemove 40 700\nmousemove_relative 5 -5\nmousemove 41 3\n");
  auto result = client::runTool({"run", dir / "script"}, environment());
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(pointer(), (client::PointerPosition{41, 3}));
}

TEST_F(X11Pointing, InAWaylandSessionThePositionIsNotGuessed) {
  auto env = environment();
  env["XDG_SESSION_TYPE"] = "wayland";
  auto result = client::runTool({"getmouselocation"}, env);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.errors.find("Wayland session"), std::string::npos) << result.errors;
}

}  // namespace
}  // namespace virelo::test
