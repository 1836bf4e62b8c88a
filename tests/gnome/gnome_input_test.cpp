// What a native Wayland GTK application receives from the service on a headless GNOME
// compositor, and what the service says it cannot do there.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/gnome/gnome_desktop.h"
#include "virelo/client/layouts.h"

namespace virelo::test {
namespace {

using Event = nlohmann::json;

std::function<bool(const Event&)> is(const std::string& name) {
  return [name](const Event& e) { return e.value("event", "") == name; };
}

class GnomeInput : public GnomeDesktop {
 protected:
  void SetUp() override {
    GnomeDesktop::SetUp();
    if (!IsSkipped()) startDesktop();
  }
};

TEST_F(GnomeInput, TypedTextArrivesInTheEntryExactly) {
  const std::string text = "Hello, World! 0123456789 (a+b=c) \"x_y\" ~/#$%^&*? [;'] {:<>|}";
  client::typeText(*client_, text, client::KeyboardLayout::us());
  EXPECT_TRUE(app().next([&](const Event& e) { return e.value("text", "") == text; }));
  auto after = app().drain();
  EXPECT_TRUE(std::none_of(after.begin(), after.end(), is("text")));
}

TEST_F(GnomeInput, AClickFiresTheButtonOnce) {
  moveTo(centre("button"));
  client_->pressButtons(1);
  client_->releaseButtons(1);
  EXPECT_TRUE(app().next(is("clicked")));
  auto after = app().drain();
  EXPECT_EQ(std::count_if(after.begin(), after.end(), is("clicked")), 0);
}

TEST_F(GnomeInput, ADragStartsExactlyWhereThePointerWasPlacedAndFollowsItsPath) {
  const ScreenPoint start = centre("drag");
  moveTo(start);
  client_->pressButtons(1);
  client_->move(30, 20);
  client_->releaseButtons(1);
  // The receiver's coordinates are its window's on Wayland.
  const ScreenPoint inside = app().centre("drag");
  auto began = app().next(is("drag_start"));
  ASSERT_TRUE(began);
  EXPECT_EQ((*began)["x"], inside.x);
  EXPECT_EQ((*began)["y"], inside.y);
  auto ended = app().next(is("drag_end"));
  ASSERT_TRUE(ended);
  // The end of the relative path: mutter has been seen to put it one pixel further along in about
  // one run of ten (its cause is not known yet), so within a pixel; the start above is exact.
  EXPECT_NEAR((*ended)["x"].get<int>(), inside.x + 30, 1);
  EXPECT_NEAR((*ended)["y"].get<int>(), inside.y + 20, 1);
}

TEST_F(GnomeInput, WheelStepsScrollInTheirDirection) {
  moveTo(centre("scroll"));
  client_->wheel(-3);
  client_->wheel(2);
  // Wayland applications see a wheel step as a direction or as a smooth delta (positive down).
  std::vector<std::string> directions;
  while (auto scroll = app().next(is("scroll"), directions.empty() ? 5s : 500ms)) {
    std::string direction = (*scroll)["direction"];
    if (direction == "smooth") {
      const double dy = (*scroll)["dy"];
      if (dy == 0) continue;
      direction = dy > 0 ? "down" : "up";
    }
    if (directions.empty() || directions.back() != direction) directions.push_back(direction);
  }
  EXPECT_EQ(directions, (std::vector<std::string>{"down", "up"}));
}

TEST_F(GnomeInput, TheFnTapSaysItCannotWatchTheKeyboard) {
  int states = 0;
  while (auto event = service_->readEvent(1500ms)) {
    if ((*event)["type"] != "fn_state") continue;
    ++states;
    EXPECT_EQ((*event)["bridgeReady"], false);
  }
  EXPECT_GT(states, 0);
}

}  // namespace
}  // namespace virelo::test
