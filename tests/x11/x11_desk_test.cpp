// The X11 window server beside the user's own keyboard (the keymap options, the button mapping
// and a crash's leftovers are tested on a plain Xvfb, x11_window_server_test.cpp). The window
// server runs against an Xephyr server nested in a private Xvfb: keys posted through XTEST to the
// outer Xvfb reach the inner server through Xephyr's own (non-XTEST) keyboard, as the user's
// typing does.
#include <chrono>
#include <thread>

#include "tests/x11/x11_fixture.h"

namespace virelo::test {
namespace {

using namespace std::chrono_literals;

class X11DeskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XvfbServer::installed()) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    if (!XvfbServer::xephyrInstalled()) {
      GTEST_SKIP() << "Xephyr is not installed (Debian package xserver-xephyr)";
    }
    ::signal(SIGPIPE, SIG_IGN);
    outer.emplace(XvfbServer::Options{std::nullopt, {"-screen", "0", "1024x768x24"}});
    ASSERT_TRUE(outer->available());
    inner.emplace(XvfbServer::Options{std::nullopt, {"-screen", "640x480"}, outer->display()});
    ASSERT_TRUE(inner->available());
    user.emplace(outer->display());
    user->movePointer(100, 100);  // over the Xephyr window, which then receives the keys
    observer.emplace(inner->display());
    windowServer = std::make_unique<x11::X11WindowServer>(inner->display());
  }

  // A key of the user's keyboard, pressed or released, once the inner server has it.
  void userKey(std::uint8_t keycode, bool press) {
    user->fakeKey(keycode, press);
    for (int i = 0; i < 100 && observer->keyDown(keycode) != press; ++i) {
      std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(observer->keyDown(keycode), press) << "the nested server did not get the key";
  }
  void post(const Event& event) {
    windowServer->post(event);
    windowServer->createEvent();  // a round trip: the server has handled the event
  }
  Event flagsChanged(std::uint16_t code, std::uint64_t flags) {
    Event event = *windowServer->createKeyboardEvent(code, true);
    event.type = kEventFlagsChanged;
    event.flags = flags;
    event.setField(kFieldSourceUserData, kTag);
    return event;
  }

  std::optional<XvfbServer> outer;
  std::optional<XvfbServer> inner;
  std::optional<XObserver> user;
  std::optional<XObserver> observer;
  std::unique_ptr<x11::X11WindowServer> windowServer;
};

TEST_F(X11DeskTest, AModifierTappedOnTheUsersKeyboardDoesNotKeepTheServicesDown) {
  post(flagsChanged(56, 0x20002));  // a client holds left shift
  ASSERT_EQ(observer->xtestKeysDown(), std::vector<int>{kXKeyLeftShift});
  userKey(kXKeyLeftShift, true);  // the user taps left shift
  userKey(kXKeyLeftShift, false);
  post(flagsChanged(56, 0));  // the client lets go
  EXPECT_EQ(observer->xtestKeysDown(), std::vector<int>{});
  post(flagsChanged(56, 0x20002));  // and a later shift of the service takes effect
  EXPECT_EQ(windowServer->combinedFlagsState() & 0x20000, 0x20000u);
}

}  // namespace
}  // namespace virelo::test
