#include "platform/kde/kde_keys.h"

#include <linux/input-event-codes.h>

#include <utility>

#include "platform/evdev_keys.h"
#include "platform/input_codes.h"

namespace virelo::kde {
namespace {}  // namespace

std::optional<std::uint16_t> evdevKey(std::uint16_t virtualKeycode) {
  return evdev::key(virtualKeycode);
}

std::optional<std::uint16_t> mediaEvdevKey(int keyType) {
  return evdev::mediaKey(keyType);
}

std::uint64_t modifierMask(std::uint16_t virtualKeycode) {
  for (std::size_t bit = 0; bit < kModifierKeycodes.size(); ++bit) {
    if (kModifierKeycodes[bit] == virtualKeycode) return kModifierMasks[bit];
  }
  return 0;
}

std::uint16_t evdevButton(std::uint32_t button) {
  if (button == 1) return BTN_RIGHT;
  if (button == 2) return BTN_MIDDLE;
  return static_cast<std::uint16_t>(BTN_LEFT + (button == 0 ? 0 : button));
}

}  // namespace virelo::kde
