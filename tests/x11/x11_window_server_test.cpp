// The X11 window server against a real X server (Xvfb): what its posted events do to the
// server's state, what it reads from the server, and its permissions as the server comes and
// goes.
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "tests/x11/x11_fixture.h"

namespace virelo::test {
namespace {

using namespace std::chrono_literals;

// X key codes (evdev + 8).
constexpr std::uint8_t kXKeyA = 38;
constexpr std::uint8_t kXKeyCapsLock = 66;
constexpr std::uint8_t kXKeyPlayPause = 172;
constexpr std::uint8_t kXKeyVolumeUp = 123;

TEST_F(X11Test, KeyDownAndUpPressAndReleaseTheKey) {
  post(keyEvent(0, true));
  EXPECT_TRUE(observer->keyDown(kXKeyA));
  post(keyEvent(0, false));
  EXPECT_FALSE(observer->keyDown(kXKeyA));
}

TEST_F(X11Test, PrintScreenScrollLockAndPauseArriveAsThoseKeys) {
  // The synthesis sends them as the codes of F13, F14 and F15.
  constexpr std::pair<std::uint16_t, std::uint8_t> kKeys[] = {{105, 107}, {107, 78}, {113, 127}};
  for (const auto& [code, xKey] : kKeys) {
    post(keyEvent(code, true));
    EXPECT_EQ(observer->heldKeys(), std::vector<int>{xKey}) << code;
    post(keyEvent(code, false));
  }
}

TEST_F(X11Test, FlagsChangedPressesAndReleasesTheModifierItNames) {
  post(flagsChanged(56, 0x20002));
  EXPECT_TRUE(observer->keyDown(kXKeyLeftShift));
  EXPECT_EQ(windowServer->combinedFlagsState() & 0x20000, 0x20000u);
  post(flagsChanged(56, 0));
  EXPECT_FALSE(observer->keyDown(kXKeyLeftShift));
}

TEST_F(X11Test, CapsLockFlagsChangesArePressThenReleaseAndLockIt) {
  post(flagsChanged(57, 0x10000));
  EXPECT_TRUE(observer->keyDown(kXKeyCapsLock));
  post(flagsChanged(57, 0x10000));
  EXPECT_FALSE(observer->keyDown(kXKeyCapsLock));
  EXPECT_TRUE(observer->capsLocked());
  EXPECT_EQ(windowServer->combinedFlagsState() & 0x10000, 0x10000u);
}

TEST_F(X11Test, ModifiersArePressedAsTheKeysThatProduceThemInTheCurrentKeymap) {
  post(flagsChanged(59, 0x40001));  // the keymap as it was, read once
  post(flagsChanged(59, 0));
  ASSERT_TRUE(xvfb->setxkbmap({"-option", "ctrl:swapcaps", "-option", "altwin:swap_alt_win"}));
  windowServer->createEvent();      // a round trip: the server's notifications have arrived
  post(flagsChanged(59, 0x40001));  // left control: the Caps Lock key gives Control now
  EXPECT_EQ(observer->modifiers() & XCB_MOD_MASK_CONTROL, XCB_MOD_MASK_CONTROL);
  post(flagsChanged(59, 0));
  EXPECT_FALSE(observer->capsLocked());
  post(flagsChanged(58, 0x80020));  // left option: Alt, not Super, which the Alt key gives now
  EXPECT_EQ(observer->modifiers() & (XCB_MOD_MASK_1 | XCB_MOD_MASK_4), XCB_MOD_MASK_1);
  post(flagsChanged(58, 0));
  EXPECT_EQ(observer->heldKeys(), std::vector<int>{});
}

TEST_F(X11Test, MediaKeysAreTheXF86AudioKeys) {
  post(mediaKey(16, true));
  EXPECT_TRUE(observer->keyDown(kXKeyPlayPause));
  post(mediaKey(16, false));
  EXPECT_FALSE(observer->keyDown(kXKeyPlayPause));
}

TEST_F(X11Test, AHeldMediaKeyDoesNotRepeat) {
  observer->setKeyRepeat(100, 50);
  observer->openFocusedWindow();
  post(mediaKey(0, true));  // volume up, held 500 ms
  std::this_thread::sleep_for(500ms);
  post(mediaKey(0, false));
  EXPECT_EQ(observer->countKeyPresses(kXKeyVolumeUp, 200ms), 1);
}

TEST_F(X11Test, PointerMovesAbsolutelyAndButtonsMapToOneThreeTwo) {
  postMouse(kEventMouseMoved, 100, 200);
  auto moved = observer->pointer();
  EXPECT_EQ(std::make_pair(moved.x, moved.y), std::make_pair(100, 200));
  EXPECT_EQ(windowServer->createEvent()->location, (Point{100, 200}));

  postMouse(kEventLeftMouseDown, 100, 200, 0);
  EXPECT_EQ(observer->pointer().mask & XCB_BUTTON_MASK_1, XCB_BUTTON_MASK_1);
  postMouse(kEventLeftMouseDragged, 150, 250, 0);
  auto dragged = observer->pointer();
  EXPECT_EQ(std::make_pair(dragged.x, dragged.y), std::make_pair(150, 250));
  EXPECT_EQ(dragged.mask & XCB_BUTTON_MASK_1, XCB_BUTTON_MASK_1);
  postMouse(kEventLeftMouseUp, 150, 250, 0);
  EXPECT_EQ(observer->pointer().mask & XCB_BUTTON_MASK_1, 0);

  postMouse(kEventRightMouseDown, 150, 250, 1);
  EXPECT_EQ(observer->pointer().mask & XCB_BUTTON_MASK_3, XCB_BUTTON_MASK_3);
  postMouse(kEventRightMouseUp, 150, 250, 1);
  postMouse(kEventOtherMouseDown, 150, 250, 2);
  EXPECT_EQ(observer->pointer().mask & XCB_BUTTON_MASK_2, XCB_BUTTON_MASK_2);
  postMouse(kEventOtherMouseUp, 150, 250, 2);
  EXPECT_EQ(observer->pointer().mask & 0x1F00, 0);
}

TEST_F(X11Test, ButtonsStayLogicalUnderALeftHandedPointerMapping) {
  observer->openFocusedWindow();
  postMouse(kEventLeftMouseDown, 10, 10, 0);  // the mapping as it was, read once
  postMouse(kEventLeftMouseUp, 10, 10, 0);
  observer->countButtonPresses(1, 100ms);
  observer->setPointerMapping({3, 2, 1});  // xmodmap -e 'pointer = 3 2 1'
  postMouse(kEventLeftMouseDown, 10, 10, 0);
  postMouse(kEventLeftMouseUp, 10, 10, 0);
  EXPECT_EQ(observer->countButtonPresses(1, 300ms), 1);
}

TEST_F(X11Test, ScrollLinesAreClicksOfButtonsFourAndFive) {
  observer->openFocusedWindow();
  windowServer->post(*windowServer->createScrollWheelEvent(3));
  EXPECT_EQ(observer->countButtonPresses(4, 300ms), 3);
  windowServer->post(*windowServer->createScrollWheelEvent(-2));
  EXPECT_EQ(observer->countButtonPresses(5, 300ms), 2);
}

TEST_F(X11Test, AHeldKeyRepeatsAtTheServersRateNotTwice) {
  observer->setKeyRepeat(100, 50);
  observer->openFocusedWindow();
  post(keyEvent(0, true));
  // The event synthesis posts its own repeats at the same rate; the server's are the ones kept.
  for (int i = 0; i < 5; ++i) {
    Event repeat = keyEvent(0, true);
    repeat.setField(kFieldKeyboardAutorepeat, 1);
    windowServer->post(repeat);
  }
  std::this_thread::sleep_for(400ms);
  post(keyEvent(0, false));
  // 1 press and about (400 - 100) / 50 = 6 repeats by the server; 5 more if both repeated.
  int presses = observer->countKeyPresses(200ms);
  EXPECT_GE(presses, 3);
  EXPECT_LE(presses, 8);
}

TEST_F(X11Test, AStartingWindowServerReleasesWhatTheXTestDevicesStillHold) {
  // A service killed while it held a key and a button (XTEST input outlives its client).
  observer->fakeKey(kXKeyA, true);
  observer->fakeButton(1, true);
  ASSERT_EQ(observer->xtestKeysDown(), std::vector<int>{kXKeyA});
  windowServer = std::make_unique<x11::X11WindowServer>(xvfb->display());  // its restart
  windowServer->createEvent();
  EXPECT_EQ(observer->xtestKeysDown(), std::vector<int>{});
  EXPECT_EQ(observer->xtestButtonsDown(), 0u);
}

TEST_F(X11Test, RepeatSettingsComeFromTheXkbControls) {
  observer->setKeyRepeat(300, 40);
  EXPECT_DOUBLE_EQ(windowServer->keyRepeatDelay(), 0.3);
  EXPECT_DOUBLE_EQ(windowServer->keyRepeatInterval(), 0.04);
}

TEST_F(X11Test, DoubleClickIntervalComesFromTheSettingsManagerOrIsPointFour) {
  EXPECT_DOUBLE_EQ(windowServer->doubleClickInterval(), 0.4);
  observer->serveXSettings("Net/DoubleClickTime", 250);
  EXPECT_DOUBLE_EQ(windowServer->doubleClickInterval(), 0.25);
}

TEST_F(X11Test, DeskScaleIsTheFontResolutionOverNinetySixFromTheSettingsManagerOrTheResources) {
  EXPECT_DOUBLE_EQ(windowServer->deskScale(), 1);
  observer->setResources("Xft.antialias:\t1\nXft.dpi:\t192\n");
  EXPECT_DOUBLE_EQ(windowServer->deskScale(), 2);
  observer->serveXSettings("Xft/DPI", 144 * 1024);
  EXPECT_DOUBLE_EQ(windowServer->deskScale(), 1.5);
}

TEST_F(X11Test, DisplaysAreTheServersMonitors) {
  auto displays = windowServer->activeDisplayBounds(16);
  ASSERT_TRUE(displays.has_value());
  ASSERT_EQ(displays->size(), 1u);
  EXPECT_EQ(displays->front(), makeRect(0, 0, 1024, 768));
}

TEST_F(X11Test, AServerThatStopsAnsweringIsLostInsteadOfWaitedFor) {
  observer->grabServer();  // another client's server grab: the server answers no one else
  auto checked = std::async(std::launch::async, [&] {
    windowServer->createEvent();  // a round trip
    return windowServer->postEventAccess();
  });
  const bool returned = checked.wait_for(5s) == std::future_status::ready;
  observer->ungrabServer();
  EXPECT_TRUE(returned);
  EXPECT_FALSE(checked.get());
}

bool becomes(const std::function<bool()>& condition) {
  for (int i = 0; i < 50 && !condition(); ++i) std::this_thread::sleep_for(50ms);
  return condition();
}

TEST(X11Permissions, WithoutADisplayNothingIsPermittedAndNothingFails) {
  x11::X11WindowServer windowServer("");
  EXPECT_FALSE(windowServer.postEventAccess());
  EXPECT_FALSE(windowServer.listenEventAccess());
  windowServer.post(*windowServer.createKeyboardEvent(0, true));
  EXPECT_TRUE(windowServer.createEvent().has_value());
  EXPECT_EQ(windowServer.createTap(0x5C00, [](std::uint32_t, Event e) { return e; }), nullptr);
}

TEST(X11Permissions, PostingFollowsTheServerAsItGoesAndComesBack) {
  if (!XvfbServer::installed()) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
  ::signal(SIGPIPE, SIG_IGN);
  // A display number far above those that servers choosing a free one take.
  const int number = 600 + ::getpid() % 300;
  x11::X11WindowServer windowServer(":" + std::to_string(number));
  EXPECT_FALSE(windowServer.postEventAccess());
  {
    XvfbServer server(XvfbServer::Options{number, {}});
    ASSERT_TRUE(server.available());
    EXPECT_TRUE(becomes([&] { return windowServer.postEventAccess(); }));
    EXPECT_TRUE(windowServer.listenEventAccess());
  }
  EXPECT_FALSE(windowServer.postEventAccess());
  windowServer.post(*windowServer.createKeyboardEvent(0, true));
  XvfbServer again(XvfbServer::Options{number, {}});
  ASSERT_TRUE(again.available());
  EXPECT_TRUE(becomes([&] { return windowServer.postEventAccess(); }));
}

}  // namespace
}  // namespace virelo::test
