// What a native Wayland GTK application receives from the service on a real wlroots compositor.
#include <algorithm>

#include "tests/tools/tool_process.h"
#include "tests/wlroots/wlroots_desktop.h"
#include "virelo/client/layouts.h"

namespace virelo::test {
namespace {

using Event = nlohmann::json;

std::function<bool(const Event&)> is(const std::string& name) {
  return [name](const Event& e) { return e.value("event", "") == name; };
}

using WlrootsInput = WlrootsDesktop;

TEST_F(WlrootsInput, TypedTextArrivesInTheEntryExactly) {
  const std::string text = "Hello, World! 0123456789 (a+b=c) \"x_y\" ~/#$%^&*? [;'] {:<>|}";
  client::typeText(*client_, text);
  EXPECT_TRUE(app_->next([&](const Event& e) { return e.value("text", "") == text; }));
  auto after = app_->drain();
  EXPECT_TRUE(std::none_of(after.begin(), after.end(), is("text")));
}

TEST_F(WlrootsInput, ATextTheLayoutCannotTypeIsPastedThroughTheClipboardWhenAsked) {
  if (!programExists("wl-copy")) GTEST_SKIP() << "wl-clipboard is not installed (wl-clipboard)";
  auto environment = sway_->environment();
  environment["VIRELO_SOCKET"] = service_->socketPath();
  environment["VIRELO_TOKEN"] = service_->token();
  environment["VL_HOST"] = "wlroots";
  const std::string text = "snow \u2603";  // no key of the US layout types U+2603
  auto pasted = client::runTool({"type", "--layout", "us", "--via-clipboard", text}, environment);
  EXPECT_EQ(pasted.status, 0) << pasted.errors;
  EXPECT_NE(pasted.errors.find("which replaces what the clipboard held"), std::string::npos)
      << pasted.errors;
  EXPECT_TRUE(app_->next([&](const Event& e) { return e.value("text", "") == text; }));
}

TEST_F(WlrootsInput, AClickWhereTheMovesLeadFiresTheButtonOnce) {
  moveBy(kStart, centre("button"));
  client_->pressButtons(1);
  client_->releaseButtons(1);
  EXPECT_TRUE(app_->next(is("clicked")));
  auto after = app_->drain();
  EXPECT_EQ(std::count_if(after.begin(), after.end(), is("clicked")), 0);
}

TEST_F(WlrootsInput, WheelStepsArriveAsScrollsInTheirDirectionAndSize) {
  moveBy(kStart, centre("scroll"));
  client_->wheel(-3);
  client_->wheel(2);
  // A Wayland application sees a wheel as smooth scrolling, by the same length for every click:
  // three clicks down, then two up.
  std::vector<double> amounts;
  double down = 0;
  double up = 0;
  while (auto scroll = app_->next(is("scroll"), down > 0 && up < 0 ? 300ms : 5s)) {
    const double dy = (*scroll)["dy"];
    (dy > 0 ? down : up) += dy;
    amounts.push_back(dy);
  }
  ASSERT_FALSE(amounts.empty());
  EXPECT_GT(amounts.front(), 0);
  EXPECT_GT(down, 0);
  EXPECT_DOUBLE_EQ(up / down, -2.0 / 3.0);
}

TEST_F(WlrootsInput, TheFnTapSaysItCannotWatchTheKeyboard) {
  std::vector<Event> states;
  while (auto event = service_->readEvent(states.empty() ? 5s : 500ms)) {
    if (event->value("type", "") == "fn_state") states.push_back(*event);
  }
  ASSERT_FALSE(states.empty());
  for (const auto& state : states) EXPECT_EQ(state["bridgeReady"], false) << state;
}

TEST_F(WlrootsInput, ALostCompositorEndsNeitherTheServiceNorItsClient) {
  client::typeText(*client_, "a");
  ASSERT_TRUE(app_->next([](const Event& e) { return e.value("text", "") == "a"; }));
  app_.reset();
  sway_->stop();
  client::typeText(*client_, "bc");
  client_->move(5, 5);
  client_->wheel(1);
  EXPECT_TRUE(client_->status().ok);
  EXPECT_TRUE(service_->running());
}

}  // namespace
}  // namespace virelo::test
