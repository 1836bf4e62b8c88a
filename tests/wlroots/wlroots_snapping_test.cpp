// Cursor snapping of the real service on a wlroots compositor onto a native Wayland GTK button,
// found on the real accessibility bus and placed on the screen by sway's tree.
#include "tests/wlroots/wlroots_desktop.h"

namespace virelo::test {
namespace {

class WlrootsSnapping : public WlrootsDesktop {
 protected:
  void SetUp() override { start(true); }
};

TEST_F(WlrootsSnapping, ARestingCursorNearTheButtonIsPulledOntoItsCentre) {
  const ScreenPoint centre = this->centre("button");
  const int width = app_->place("button")["width"];
  const int height = app_->place("button")["height"];
  const int right = centre.x - width / 2 + width;
  // 62 points right of the button's right edge, on the height of its centre, unsnapped; then one
  // snapped move that stops 20 points right of it, where the search after the cursor came to
  // rest finds the button and pulls the cursor onto its centre.
  moveBy(kStart, {right + 62, centre.y});
  client_->move(-42, 0, true);
  auto over = app_->next(
      [&](const nlohmann::json& e) {
        return e.value("event", "") == "enter" && e["x"] == width / 2 && e["y"] == height / 2;
      },
      5s);
  EXPECT_TRUE(over) << "the cursor did not land on the button's centre";
}

}  // namespace
}  // namespace virelo::test
