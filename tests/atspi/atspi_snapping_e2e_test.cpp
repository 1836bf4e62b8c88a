// Cursor snapping of the real service on the Linux desktop host ("cgevent", VL_HOST=linux) onto
// a real GTK button found on the real accessibility bus; the service, its client, the buses and
// the application run as the service user.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

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

TEST(AtspiSnapping, SlowSnappedMoveLandsOnTheGtkButtonsCentre) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to run the service as its user";
  AccessibleDesktop desktop(true);
  if (!desktop.unavailable().empty()) GTEST_SKIP() << desktop.unavailable();
  const auto& app = desktop.startApp(100, 100);
  ASSERT_GT(app.pid, 0) << "the GTK application did not come up";
  ServiceOptions options;
  options.backend = "cgevent";
  options.trace = false;
  options.control = false;
  options.environment = {{"VL_HOST", "linux"},
                         {"DISPLAY", desktop.display()},
                         {"DBUS_SESSION_BUS_ADDRESS", desktop.sessionBus()},
                         {"HOME", std::getenv("HOME")},
                         {"XDG_RUNTIME_DIR", std::getenv("XDG_RUNTIME_DIR")}};
  ServiceProcess service(options);
  service.awaitReady();
  TestClient client(service.socketPath());
  client.hello(service.token());

  // To 62 points right of the button's right edge, on the height of its centre, unsnapped: steps
  // of 5 points from there never reach the centre by themselves.
  const Point centre{app.press.minX() + app.press.width() / 2,
                     app.press.minY() + app.press.height() / 2};
  auto start = pointer(desktop.display());
  ASSERT_TRUE(start);
  const int dx = static_cast<int>(app.press.minX() + app.press.width() + 62 - start->x);
  const int dy = static_cast<int>(centre.y - start->y);
  client.command({{"cmd", "move"}, {"dx", dx / 2}, {"dy", dy / 2}});
  client.command({{"cmd", "move"}, {"dx", dx - dx / 2}, {"dy", dy - dy / 2}});
  // Slow snapped moves of 5 points toward it, 30 ms apart, until the pointer lands on the centre
  // (or has crossed the button without landing).
  std::optional<Point> now;
  for (int i = 0; i < 40; ++i) {
    client.command({{"cmd", "move"}, {"dx", -5}, {"dy", 0}, {"snap", true}});
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    now = pointer(desktop.display());
    if (now && now->x == centre.x && now->y == centre.y) break;
  }
  ASSERT_TRUE(now);
  EXPECT_EQ(service.standardError(), "");
  EXPECT_EQ(now->x, centre.x);
  EXPECT_EQ(now->y, centre.y);
}

}  // namespace
}  // namespace virelo::test
