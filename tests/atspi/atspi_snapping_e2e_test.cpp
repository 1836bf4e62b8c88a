// Cursor snapping of the real service on the Linux desktop host ("cgevent", VL_HOST=linux) onto
// a real GTK button found on the real accessibility bus; the service, its client, the buses and
// the application run as the service user.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "tests/atspi/accessible_desktop.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "tests/support/test_client.h"

namespace virelo::test {
namespace {

// The X pointer's position, read by a client of our own.
std::optional<Point> pointer(const std::string& display) {
  xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
  std::optional<Point> at;
  if (xcb_connection_has_error(c) == 0) {
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr);
    if (reply != nullptr) at = Point{double(reply->root_x), double(reply->root_y)};
    std::free(reply);
  }
  xcb_disconnect(c);
  return at;
}

class AtspiSnapping : public testing::Test {
 protected:
  void SetUp() override {
    if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to run the service as its user";
    desktop_ = std::make_unique<AccessibleDesktop>(true);
    if (!desktop_->unavailable().empty()) GTEST_SKIP() << desktop_->unavailable();
    app_ = &desktop_->startApp(100, 100);
    ASSERT_GT(app_->pid, 0) << "the GTK application did not come up";
    service_ = std::make_unique<ServiceProcess>(desktop_->serviceOptions());
    service_->awaitReady();
    client_ = std::make_unique<TestClient>(service_->socketPath());
    client_->hello(service_->token());
  }

  Point centre() const {
    return {app_->press.minX() + app_->press.width() / 2,
            app_->press.minY() + app_->press.height() / 2};
  }
  // To 62 points right of the button's right edge, on the height of its centre, unsnapped: steps
  // of 5 points from there never reach the centre by themselves.
  void startRightOfTheButton() {
    auto start = pointer(desktop_->display());
    ASSERT_TRUE(start);
    const int dx = static_cast<int>(app_->press.minX() + app_->press.width() + 62 - start->x);
    const int dy = static_cast<int>(centre().y - start->y);
    client_->command({{"cmd", "move"}, {"dx", dx / 2}, {"dy", dy / 2}});
    client_->command({{"cmd", "move"}, {"dx", dx - dx / 2}, {"dy", dy - dy / 2}});
  }
  // One slow snapped move of 5 points to the left; returns the command's round trip.
  std::chrono::steady_clock::duration slowMoveLeft() {
    auto sent = std::chrono::steady_clock::now();
    client_->command({{"cmd", "move"}, {"dx", -5}, {"dy", 0}, {"snap", true}});
    auto roundTrip = std::chrono::steady_clock::now() - sent;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    return roundTrip;
  }

  std::unique_ptr<AccessibleDesktop> desktop_;
  const AccessibleDesktop::App* app_ = nullptr;
  std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<TestClient> client_;
};

TEST_F(AtspiSnapping, SlowSnappedMoveLandsOnTheGtkButtonsCentre) {
  startRightOfTheButton();
  std::optional<Point> now;
  for (int i = 0; i < 40; ++i) {
    slowMoveLeft();
    now = pointer(desktop_->display());
    if (now && now->x == centre().x && now->y == centre().y) break;
  }
  ASSERT_TRUE(now);
  EXPECT_EQ(service_->standardError(), "");
  EXPECT_EQ(now->x, centre().x);
  EXPECT_EQ(now->y, centre().y);
}

TEST_F(AtspiSnapping, ARestingCursorNearTheButtonIsPulledOntoIt) {
  startRightOfTheButton();
  // One fast snapped move that stops 20 points right of the button; the wide search after the
  // cursor came to rest finds the button and pulls the cursor onto its centre.
  client_->command({{"cmd", "move"}, {"dx", -42}, {"dy", 0}, {"snap", true}});
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto stopped = pointer(desktop_->display());
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->x, app_->press.minX() + app_->press.width() + 20);
  std::optional<Point> now;
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    now = pointer(desktop_->display());
    if (now && now->x == centre().x && now->y == centre().y) break;
  }
  ASSERT_TRUE(now);
  EXPECT_EQ(now->x, centre().x);
  EXPECT_EQ(now->y, centre().y);
}

TEST_F(AtspiSnapping, AnApplicationWhoseMainLoopIsBlockedNeverDelaysCommandReplies) {
  startRightOfTheButton();
  // The application answers no accessibility request for the next 5 s, while searches around
  // its button run; the main loop answers every command meanwhile. 250 ms is the main loop's
  // stall limit; a main loop that waited for the bus would wait 50 ms per request.
  ASSERT_EQ(::write(app_->input, "block 5000\n", 11), 11);
  std::chrono::steady_clock::duration longest{};
  for (int i = 0; i < 40; ++i) longest = std::max(longest, slowMoveLeft());
  EXPECT_LT(longest, std::chrono::milliseconds(250));
}

TEST_F(AtspiSnapping, TheServiceStopsWithinHalfASecondDuringASearch) {
  startRightOfTheButton();
  ASSERT_EQ(::write(app_->input, "block 5000\n", 11), 11);
  for (int i = 0; i < 16; ++i) slowMoveLeft();
  auto asked = std::chrono::steady_clock::now();
  service_->closeStdin();
  EXPECT_EQ(service_->waitExit(std::chrono::seconds(2)), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace virelo::test
