// What a real GTK application and an independent XInput 2 listener receive from the service on a
// real X server.
#include <algorithm>
#include <thread>

#include "tests/support/raw_key_listener.h"
#include "tests/x11_e2e/x11_desktop_fixture.h"
#include "virelo/client/layouts.h"

namespace virelo::test {
namespace {

using Event = nlohmann::json;

std::function<bool(const Event&)> is(const std::string& name) {
  return [name](const Event& e) { return e.value("event", "") == name; };
}

class X11Input : public X11Desktop {
 protected:
  void SetUp() override {
    X11Desktop::SetUp();
    if (IsSkipped()) return;
    startDesktop();
    if (!HasFatalFailure()) client_ = connect();
  }
  void click() {
    client_->pressButtons(1);
    client_->releaseButtons(1);
  }

  std::unique_ptr<client::Client> client_;
};

TEST_F(X11Input, TypedTextArrivesInTheEntryExactly) {
  const std::string text = "Hello, World! 0123456789 (a+b=c) \"x_y\" ~/#$%^&*? [;'] {:<>|}";
  client::typeText(*client_, text);
  EXPECT_TRUE(app().next([&](const Event& e) { return e.value("text", "") == text; }));
  auto after = app().drain();
  EXPECT_TRUE(std::none_of(after.begin(), after.end(), is("text")));
}

TEST_F(X11Input, AClickFiresTheButtonOnce) {
  moveTo(*client_, app().centre("button"));
  click();
  EXPECT_TRUE(app().next(is("clicked")));
  auto after = app().drain();
  EXPECT_EQ(std::count_if(after.begin(), after.end(), is("clicked")), 0);
}

TEST_F(X11Input, TwoQuickClicksAreADoubleClick) {
  moveTo(*client_, app().centre("button"));
  click();
  click();
  EXPECT_TRUE(app().next([](const Event& e) { return e.value("type", "") == "2BUTTON_PRESS"; }));
}

TEST_F(X11Input, ADragArrivesWithItsPath) {
  const ScreenPoint start = app().centre("drag");
  moveTo(*client_, start);
  client_->pressButtons(1);
  client_->move(30, 20);
  client_->move(10, 0);
  client_->releaseButtons(1);
  auto began = app().next(is("drag_start"));
  ASSERT_TRUE(began);
  EXPECT_EQ((*began)["x"], start.x);
  EXPECT_EQ((*began)["y"], start.y);
  EXPECT_TRUE(app().next(is("drag_motion")));
  auto ended = app().next(is("drag_end"));
  ASSERT_TRUE(ended);
  EXPECT_EQ((*ended)["x"], start.x + 40);
  EXPECT_EQ((*ended)["y"], start.y + 20);
}

TEST_F(X11Input, WheelStepsArriveAsScrollsInTheirDirection) {
  moveTo(*client_, app().centre("scroll"));
  client_->wheel(-3);
  client_->wheel(2);
  std::vector<std::string> directions;
  while (auto scroll = app().next(is("scroll"), directions.size() < 5 ? 5s : 300ms)) {
    directions.push_back((*scroll)["direction"]);
  }
  EXPECT_EQ(directions, (std::vector<std::string>{"down", "down", "down", "up", "up"}));
}

TEST_F(X11Input, AMediaKeyIsSeenByAnIndependentXInput2Listener) {
  RawKeyListener listener(desktop_->server->display());
  client_->pressMedia(0xCD);
  client_->releaseMedia(0xCD);
  // Play/pause is evdev KEY_PLAYPAUSE (164), X key code 172.
  auto down = listener.next();
  auto up = listener.next();
  ASSERT_TRUE(down && up);
  EXPECT_EQ(down->keycode, 172);
  EXPECT_TRUE(down->press);
  EXPECT_EQ(up->keycode, 172);
  EXPECT_FALSE(up->press);
}

// Whoever generates the repeats (the X server or the service), a held key must yield the
// repeats the XKB delay and interval imply, and never the sum of both. The hold is bounded by the
// times around the two commands, so that a slow machine widens the range instead of failing.
TEST_F(X11Input, AHeldKeyRepeatsAtTheXkbRateWithoutDoubling) {
  using Clock = std::chrono::steady_clock;
  const RepeatSettings rate = probe_->repeat();
  ASSERT_GT(rate.intervalMs, 0);
  const auto pressSent = Clock::now();
  client_->pressKey(4);
  const auto pressed = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(rate.delayMs + 40 * rate.intervalMs));
  const auto releaseSent = Clock::now();
  client_->releaseKey(4);
  const auto released = Clock::now();
  std::string text;
  while (auto changed = app().next(is("text"), 500ms)) text = (*changed)["text"];
  auto keystrokes = [&](Clock::duration held) {
    const double ms = std::chrono::duration<double, std::milli>(held).count();
    return 1 + (ms - rate.delayMs) / rate.intervalMs;
  };
  const auto typed = static_cast<double>(text.size());
  EXPECT_EQ(text, std::string(text.size(), 'a'));
  EXPECT_GE(typed, 0.75 * keystrokes(releaseSent - pressed)) << "delay " << rate.delayMs;
  EXPECT_LE(typed, 1.25 * keystrokes(released - pressSent)) << "interval " << rate.intervalMs;
}

}  // namespace
}  // namespace virelo::test
