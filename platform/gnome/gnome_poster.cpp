#include "platform/gnome/gnome_poster.h"

#include <algorithm>
#include <cstdlib>

#include "platform/gnome/gnome_keys.h"

namespace virelo::gnome {
namespace {

constexpr std::int32_t kMaxWheelSteps = 128;

bool isPress(std::uint32_t type) {
  return type == kEventLeftMouseDown || type == kEventRightMouseDown ||
         type == kEventOtherMouseDown;
}

bool isRelease(std::uint32_t type) {
  return type == kEventLeftMouseUp || type == kEventRightMouseUp || type == kEventOtherMouseUp;
}

}  // namespace

void Poster::post(RemoteInput& input, const Event& event) {
  if (event.type == kEventFlagsChanged) return postFlagsChange(input, event);
  if (event.type == kEventKeyDown || event.type == kEventKeyUp) {
    const bool press = event.type == kEventKeyDown;
    if (press && event.field(kFieldKeyboardAutorepeat) != 0) return;
    if (auto key = evdevKey(event.keycode)) input.key(*key, press);
  } else if (event.type == kEventSystemDefined) {
    postMedia(input, event);
  } else if (event.type == kEventScrollWheel) {
    input.scroll(std::clamp(event.wheelValue, -kMaxWheelSteps, kMaxWheelSteps));
  } else if (isMouseEventType(event.type)) {
    postMouse(input, event);
  }
}

void Poster::postFlagsChange(RemoteInput& input, const Event& event) {
  const bool down = held_.contains(event.keycode);
  const std::uint64_t mask = modifierMask(event.keycode);
  if (mask == 0 && event.keycode != kCapsLockKeycode) return;
  const bool wantDown = mask != 0 ? (event.flags & mask) == mask : !down;
  if (wantDown == down) return;
  auto key = evdevKey(event.keycode);
  if (!key) return;
  if (wantDown) {
    held_.insert(event.keycode);
  } else {
    held_.erase(event.keycode);
  }
  input.key(*key, wantDown);
}

void Poster::postMedia(RemoteInput& input, const Event& event) {
  if (event.subtype != kSubtypeAuxControlButtons) return;
  const auto data1 = static_cast<std::uint32_t>(event.data1);
  const int state = static_cast<int>((data1 >> 8) & 0xFF);
  if ((state != kMediaKeyDown && state != kMediaKeyUp) || (data1 & 1) != 0) return;
  if (auto key = mediaEvdevKey(static_cast<int>((data1 >> 16) & 0xFFFF))) {
    input.key(*key, state == kMediaKeyDown);
  }
}

void Poster::postMouse(RemoteInput& input, const Event& event) {
  const Point to = event.location;
  if (to != cursor_) {
    if (!input.moveTo(to)) input.moveBy(to.x - cursor_.x, to.y - cursor_.y);
    cursor_ = to;
  }
  if (!isPress(event.type) && !isRelease(event.type)) return;
  auto button = evdevButton(event.button);
  if (!button) return;
  input.button(*button, isPress(event.type));
}

std::uint64_t Poster::flags() const {
  std::uint64_t flags = 0;
  for (std::uint16_t code : held_) flags |= modifierMask(code);
  return flags;
}

void Poster::restart(Point cursor) {
  held_.clear();
  cursor_ = cursor;
}

}  // namespace virelo::gnome
