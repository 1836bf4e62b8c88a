#include "platform/gnome/gnome_keys.h"

#include <linux/input-event-codes.h>

#include <utility>

#include "platform/evdev_keys.h"
#include "platform/input_codes.h"

namespace virelo::gnome {
namespace {

constexpr std::pair<std::uint32_t, std::int32_t> kButtons[] = {
    {0, BTN_LEFT}, {1, BTN_RIGHT}, {2, BTN_MIDDLE}, {3, BTN_SIDE}, {4, BTN_EXTRA},
};

}  // namespace

std::optional<std::uint32_t> evdevKey(std::uint16_t virtualKeycode) {
  return evdev::key(virtualKeycode);
}

std::optional<std::uint32_t> mediaEvdevKey(int keyType) {
  return evdev::mediaKey(keyType);
}

std::optional<std::int32_t> evdevButton(std::uint32_t button) {
  for (const auto& [number, evdev] : kButtons) {
    if (number == button) return evdev;
  }
  return std::nullopt;
}

std::uint64_t modifierMask(std::uint16_t virtualKeycode) {
  for (std::size_t bit = 0; bit < kModifierKeycodes.size(); ++bit) {
    if (kModifierKeycodes[bit] == virtualKeycode) return kModifierMasks[bit];
  }
  return 0;
}

}  // namespace virelo::gnome
