#include "platform/x11/x11_keys.h"

#include <linux/input-event-codes.h>

#include <utility>

#include "platform/evdev_keys.h"
#include "platform/input_codes.h"

namespace virelo::x11 {
namespace {

constexpr int kEvdevToX = 8;

// The keys and media keys by evdev code (evdev_keys.h), shared with the Wayland window servers;
// an X keycode is the evdev code plus 8.
using evdev::kKeys;
using evdev::kMedia;

std::optional<std::uint8_t> toX(std::uint16_t evdev) {
  if (evdev + kEvdevToX > 255) return std::nullopt;
  return static_cast<std::uint8_t>(evdev + kEvdevToX);
}

}  // namespace

std::optional<std::uint8_t> xKeycode(std::uint16_t virtualKeycode) {
  for (const auto& [code, evdev] : kKeys) {
    if (code == virtualKeycode) return toX(evdev);
  }
  return std::nullopt;
}

std::optional<std::uint16_t> virtualKeycode(std::uint8_t xKeycode) {
  for (const auto& [code, evdev] : kKeys) {
    if (evdev + kEvdevToX == xKeycode) return code;
  }
  return std::nullopt;
}

std::optional<std::uint8_t> mediaXKeycode(int keyType) {
  for (const auto& [type, evdev] : kMedia) {
    if (type == keyType) return toX(evdev);
  }
  return std::nullopt;
}

std::optional<int> mediaKeyType(std::uint8_t xKeycode) {
  for (const auto& [type, evdev] : kMedia) {
    if (evdev + kEvdevToX == xKeycode) return type;
  }
  return std::nullopt;
}

std::uint64_t modifierMask(std::uint16_t virtualKeycode) {
  for (std::size_t bit = 0; bit < kModifierKeycodes.size(); ++bit) {
    if (kModifierKeycodes[bit] == virtualKeycode) return kModifierMasks[bit];
  }
  return 0;
}

}  // namespace virelo::x11
