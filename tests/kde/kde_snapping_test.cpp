// Cursor snapping of the real service on KWin onto a native Wayland GTK button, found on the real
// accessibility bus and placed on the screen by the windows that KWin tells of.
#include "tests/kde/kde_desktop.h"

namespace virelo::test {
namespace {

class KdeSnapping : public KdeDesktop {};

TEST_F(KdeSnapping, ARestingCursorNearTheButtonIsPulledOntoItsCentre) {
  startService();
  auto client = connect();
  const ScreenPoint centre = this->centre("button");
  const int width = app().place("button")["width"];
  const int height = app().place("button")["height"];
  const int right = centre.x - width / 2 + width;
  // 62 points right of the button's right edge, on the height of its centre, unsnapped; then one
  // snapped move that stops 20 points right of it, where the search after the cursor came to
  // rest finds the button and pulls the cursor onto its centre.
  moveTo(*client, {right + 62, centre.y});
  app().drain(50ms);
  client->move(-42, 0, true);
  auto over = app().next(
      [&](const nlohmann::json& e) {
        return e.value("event", "") == "enter" && e["x"] == width / 2 && e["y"] == height / 2;
      },
      5s);
  EXPECT_TRUE(over) << "the cursor did not land on the button's centre";
}

}  // namespace
}  // namespace virelo::test
