// A private Xvfb for each test, an independent client that observes it, and the window server
// under test on its display. Skips where Xvfb is not installed.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <optional>

#include "platform/x11/x11_window_server.h"
#include "tests/support/x_observer.h"
#include "tests/support/xvfb_server.h"

namespace virelo::test {

inline constexpr std::int64_t kTag = 0x564C464E;
// The X keycode of the left Shift key (evdev 42 + 8).
inline constexpr std::uint8_t kXKeyLeftShift = 50;

class X11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XvfbServer::installed()) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    // A server that went away must not end the test through a write to its socket.
    ::signal(SIGPIPE, SIG_IGN);
    xvfb.emplace(XvfbServer::Options{std::nullopt, {"-screen", "0", "1024x768x24"}});
    ASSERT_TRUE(xvfb->available());
    observer.emplace(xvfb->display());
    windowServer = std::make_unique<x11::X11WindowServer>(xvfb->display());
  }

  Event keyEvent(std::uint16_t code, bool down, std::int64_t tag = kTag) {
    Event event = *windowServer->createKeyboardEvent(code, down);
    event.setField(kFieldSourceUserData, tag);
    return event;
  }
  Event flagsChanged(std::uint16_t code, std::uint64_t flags) {
    Event event = keyEvent(code, true);
    event.type = kEventFlagsChanged;
    event.flags = flags;
    return event;
  }
  Event mediaKey(int keyType, bool down) {
    SystemDefinedEventArgs args;
    args.subtype = kSubtypeAuxControlButtons;
    const int state = down ? 0x0A00 : 0x0B00;
    args.data1 = (keyType << 16) | state;
    args.data2 = -1;
    Event event = *windowServer->createSystemDefinedEvent(args);
    event.setField(kFieldSourceUserData, kTag);
    return event;
  }
  // Posts and waits until the server has handled it (a round trip on the same connection).
  void post(const Event& event) {
    windowServer->post(event);
    windowServer->createEvent();
  }
  void postMouse(std::uint32_t type, double x, double y, std::uint32_t button = 0) {
    post(*windowServer->createMouseEvent(type, {x, y}, button));
  }

  std::optional<XvfbServer> xvfb;
  std::optional<XObserver> observer;
  std::unique_ptr<x11::X11WindowServer> windowServer;
};

}  // namespace virelo::test
