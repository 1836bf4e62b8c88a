#include "platform/x11/x11_poster.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/media_key_change.h"
#include "platform/x11/x11_keys.h"
#include "platform/x11/x11_reply.h"

namespace virelo::x11 {
namespace {

constexpr std::uint8_t kWheelUp = 4;
constexpr std::uint8_t kWheelDown = 5;
constexpr std::int32_t kMaxWheelClicks = 128;

void fake(X11Connection& c, std::uint8_t type, std::uint8_t detail) {
  xcb_test_fake_input(c.get(), type, detail, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
}

void fakeKey(X11Connection& c, PostedKeys& posted, std::uint8_t key, bool press, std::int64_t tag) {
  posted.record(key, press, tag);
  fake(c, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, key);
}

std::int16_t coordinate(double value) {
  return static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

void moveTo(X11Connection& c, Point location) {
  xcb_test_fake_input(c.get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, c.root(),
                      coordinate(location.x), coordinate(location.y), 0);
}

// The logical X button of the event's button, and the physical one that the pointer mapping
// maps to it, which is the one to post.
std::uint8_t logicalButton(std::uint32_t button) {
  if (button == 1) return 3;
  if (button == 2) return 2;
  return static_cast<std::uint8_t>(button == 0 ? 1 : button + 1);
}

std::uint8_t physical(X11Connection& c, std::uint8_t logical) {
  return c.xkb() ? c.xkb()->physicalButton(logical) : logical;
}

void postFlagsChange(X11Connection& c, PostedKeys& posted, const Event& event) {
  // Decided from what this process itself holds on the XTEST keyboard, never from the core
  // keyboard, which merges the user's keyboards (see x11_own_keys.h).
  OwnKeys& own = c.ownKeys();
  const bool down = own.held(event.keycode).has_value();
  const std::uint64_t mask = modifierMask(event.keycode);
  const bool wantDown = mask != 0 ? (event.flags & mask) == mask : !down;
  if (wantDown == down) return;
  const std::int64_t tag = event.field(kFieldSourceUserData);
  if (!wantDown) {
    if (auto key = own.release(event.keycode)) fakeKey(c, posted, *key, false, tag);
    return;
  }
  // The key that produces the modifier in the current keymap, not the one at its usual place.
  std::optional<std::uint8_t> key = c.xkb() ? c.xkb()->modifierKey(event.keycode) : std::nullopt;
  if (!key) key = xKeycode(event.keycode);
  if (key && own.press(event.keycode, *key)) fakeKey(c, posted, *key, true, tag);
}

void postKey(X11Connection& c, PostedKeys& posted, const Event& event) {
  if (event.type == kEventFlagsChanged) return postFlagsChange(c, posted, event);
  const bool press = event.type == kEventKeyDown;
  if (press && event.field(kFieldKeyboardAutorepeat) != 0) return;
  if (auto key = xKeycode(event.keycode)) {
    fakeKey(c, posted, *key, press, event.field(kFieldSourceUserData));
  }
}

void postMedia(X11Connection& c, PostedKeys& posted, const Event& event) {
  auto change = mediaKeyChange(event);
  if (!change) return;
  if (auto key = mediaXKeycode(change->keyType)) {
    if (XkbWatch* xkb = c.xkb(); xkb && change->down) xkb->keepMediaKeysFromRepeating();
    fakeKey(c, posted, *key, change->down, event.field(kFieldSourceUserData));
  }
}

void postMouse(X11Connection& c, const Event& event) {
  moveTo(c, event.location);
  switch (event.type) {
    case kEventLeftMouseDown:
    case kEventRightMouseDown:
    case kEventOtherMouseDown:
      return fake(c, XCB_BUTTON_PRESS, physical(c, logicalButton(event.button)));
    case kEventLeftMouseUp:
    case kEventRightMouseUp:
    case kEventOtherMouseUp:
      return fake(c, XCB_BUTTON_RELEASE, physical(c, logicalButton(event.button)));
    default:
      return;
  }
}

void postScroll(X11Connection& c, const Event& event) {
  const std::uint8_t button = physical(c, event.wheelValue > 0 ? kWheelUp : kWheelDown);
  const std::int32_t clicks = std::min(std::abs(event.wheelValue), kMaxWheelClicks);
  for (std::int32_t i = 0; i < clicks; ++i) {
    fake(c, XCB_BUTTON_PRESS, button);
    fake(c, XCB_BUTTON_RELEASE, button);
  }
}

}  // namespace

void postEvent(X11Connection& connection, PostedKeys& posted, const Event& event) {
  if (!connection.hasXTest()) return;
  std::lock_guard<std::mutex> guard(connection.postMutex());
  if (isKeyboardEventType(event.type) || event.type == kEventSystemDefined) {
    if (event.type == kEventSystemDefined) {
      postMedia(connection, posted, event);
    } else {
      postKey(connection, posted, event);
    }
    if (XkbWatch* xkb = connection.xkb()) xkb->stateAsked();
  } else if (event.type == kEventScrollWheel) {
    postScroll(connection, event);
  } else if (isMouseEventType(event.type)) {
    postMouse(connection, event);
  }
  xcb_flush(connection.get());
}

}  // namespace virelo::x11
