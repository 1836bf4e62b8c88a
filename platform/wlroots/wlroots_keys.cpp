#include "platform/wlroots/wlroots_keys.h"

#include <linux/input-event-codes.h>

#include <iterator>
#include <utility>

#include "platform/evdev_keys.h"

namespace virelo::wlroots {
namespace {

constexpr std::uint32_t kButtons[] = {BTN_LEFT,  BTN_RIGHT,   BTN_MIDDLE, BTN_SIDE,
                                      BTN_EXTRA, BTN_FORWARD, BTN_BACK,   BTN_TASK};

}  // namespace

std::optional<std::uint32_t> evdevKey(std::uint16_t virtualKeycode) {
  return evdev::key(virtualKeycode);
}

std::optional<std::uint32_t> mediaEvdevKey(int keyType) {
  return evdev::mediaKey(keyType);
}

std::optional<std::uint32_t> evdevButton(std::uint32_t button) {
  if (button >= std::size(kButtons)) return std::nullopt;
  return kButtons[button];
}

}  // namespace virelo::wlroots
