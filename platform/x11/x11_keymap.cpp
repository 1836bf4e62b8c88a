#include "platform/x11/x11_keymap.h"

#include <array>
#include <initializer_list>
#include <utility>

#include "platform/x11/x11_keys.h"

namespace virelo::x11 {
namespace {

constexpr std::uint32_t kShiftL = 0xffe1;
constexpr std::uint32_t kShiftR = 0xffe2;
constexpr std::uint32_t kControlL = 0xffe3;
constexpr std::uint32_t kControlR = 0xffe4;
constexpr std::uint32_t kCapsLock = 0xffe5;
constexpr std::uint32_t kMetaL = 0xffe7;
constexpr std::uint32_t kMetaR = 0xffe8;
constexpr std::uint32_t kAltL = 0xffe9;
constexpr std::uint32_t kAltR = 0xffea;
constexpr std::uint32_t kSuperL = 0xffeb;
constexpr std::uint32_t kSuperR = 0xffec;
constexpr std::uint32_t kIsoLevel3Shift = 0xfe03;
constexpr std::uint32_t kModeSwitch = 0xff7e;

struct Wanted {
  std::uint16_t virtualKeycode;
  std::array<std::uint32_t, 6> keysyms;  // in order of preference, 0 ends the list
};

// The modifier keys of the event synthesis (kModifierKeycodes) and caps lock.
constexpr Wanted kWanted[] = {
    {59, {kControlL, kControlR}},
    {62, {kControlR, kControlL}},
    {56, {kShiftL, kShiftR}},
    {60, {kShiftR, kShiftL}},
    {58, {kAltL, kMetaL, kAltR, kMetaR}},
    {61, {kAltR, kIsoLevel3Shift, kModeSwitch, kMetaR, kAltL, kMetaL}},
    {55, {kSuperL, kSuperR}},
    {54, {kSuperR, kSuperL}},
    {kCapsLockKeycode, {kCapsLock}},
};

}  // namespace

Keymap::Keymap(std::uint8_t minKeycode, int perKeycode, std::span<const std::uint32_t> keysyms)
    : minKeycode_(minKeycode) {
  if (perKeycode <= 0) return;
  const auto per = static_cast<std::size_t>(perKeycode);
  for (std::size_t i = 0; i + per <= keysyms.size(); i += per) firstKeysyms_.push_back(keysyms[i]);
}

std::optional<std::uint8_t> Keymap::producing(std::uint32_t keysym,
                                              std::optional<std::uint8_t> usual) const {
  auto keysymOf = [this](std::uint8_t key) -> std::uint32_t {
    if (key < minKeycode_ || key - minKeycode_ >= static_cast<int>(firstKeysyms_.size())) return 0;
    return firstKeysyms_[key - minKeycode_];
  };
  if (usual && keysymOf(*usual) == keysym) return usual;
  for (std::size_t i = 0; i < firstKeysyms_.size() && minKeycode_ + i <= 255; ++i) {
    if (firstKeysyms_[i] == keysym) return static_cast<std::uint8_t>(minKeycode_ + i);
  }
  return std::nullopt;
}

std::optional<std::uint8_t> Keymap::modifierKey(std::uint16_t virtualKeycode) const {
  for (const auto& wanted : kWanted) {
    if (wanted.virtualKeycode != virtualKeycode) continue;
    const auto usual = xKeycode(virtualKeycode);
    for (std::uint32_t keysym : wanted.keysyms) {
      if (keysym == 0) break;
      if (auto key = producing(keysym, usual)) return key;
    }
    return usual;
  }
  return std::nullopt;
}

std::uint8_t physicalButton(std::span<const std::uint8_t> map, std::uint8_t logical) {
  for (std::size_t i = 0; i < map.size() && i < 255; ++i) {
    if (map[i] == logical) return static_cast<std::uint8_t>(i + 1);
  }
  return logical;
}

}  // namespace virelo::x11
