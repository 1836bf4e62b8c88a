#include "platform/gnome/gnome_poster.h"

#include <algorithm>
#include <cstdlib>

#include "platform/gnome/gnome_keys.h"
#include "platform/media_key_change.h"

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
  postByKind(*this, input, event);
}

void Poster::postKey(RemoteInput& input, const Event& event) {
  const bool press = event.type == kEventKeyDown;
  if (press && event.field(kFieldKeyboardAutorepeat) != 0) return;
  if (auto key = evdevKey(event.keycode)) input.key(*key, press);
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
  auto change = mediaKeyChange(event);
  if (!change) return;
  if (auto key = mediaEvdevKey(change->keyType)) input.key(*key, change->down);
}

void Poster::postScroll(RemoteInput& input, const Event& event) {
  input.scroll(std::clamp(event.wheelValue, -kMaxWheelSteps, kMaxWheelSteps));
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
