// What the keymap and the pointer mapping of the X server make of the keys and buttons that the
// window server posts.
//
// Letters, digits and the other keys are posted by position (the layout decides the character),
// but a modifier key is posted as the key that produces that modifier in the current keymap:
// options such as ctrl:swapcaps or altwin:swap_alt_win move Control, Alt and Super to other keys,
// and pressing the key at the modifier's usual position would turn Caps Lock on or press Super.
// Each modifier's virtual key code wants keysyms in order of preference; the first of them that
// some key produces (in the first group, first level) decides, the key at the usual position
// first when it produces it. Right option wants Alt_R and else the AltGr of the layout
// (ISO_Level3_Shift, Mode_switch): the client library types the AltGr level as right option.
// When no key produces any of them, the usual position.
//
// Buttons are logical: the window server's left button is logical button 1, and the pointer
// mapping (SetPointerMapping, `xmodmap -e 'pointer = 3 2 1'`) says which physical button gives
// it, which is the one posted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace virelo::x11 {

class Keymap {
 public:
  Keymap() = default;
  // `keysyms`: GetKeyboardMapping's list from `minKeycode`, `perKeycode` keysyms for each key.
  Keymap(std::uint8_t minKeycode, int perKeycode, std::span<const std::uint32_t> keysyms);

  // The X key to press for the modifier or caps-lock key of that virtual key code; nullopt for
  // other codes.
  std::optional<std::uint8_t> modifierKey(std::uint16_t virtualKeycode) const;

 private:
  std::optional<std::uint8_t> producing(std::uint32_t keysym,
                                        std::optional<std::uint8_t> usual) const;

  std::uint8_t minKeycode_ = 8;
  std::vector<std::uint32_t> firstKeysyms_;  // of each key from minKeycode_
};

// The physical button to post for the logical button, given GetPointerMapping's map (entry i the
// logical button of physical button i + 1); the logical button itself when none maps to it.
std::uint8_t physicalButton(std::span<const std::uint8_t> map, std::uint8_t logical);

}  // namespace virelo::x11
