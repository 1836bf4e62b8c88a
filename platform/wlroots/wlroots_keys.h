// The keys of the wlroots window server: the virtual key codes of the event services (the codes
// the event synthesis posts) and the auxiliary-control (media) key types, each to its key in the
// Linux input layer (evdev), which is what a Wayland keyboard sends: the compositor and its
// clients read the key through the keymap the virtual keyboard gave (wlroots_keyboard.h), so a key
// keeps its place on the keyboard whatever the layout makes of it.
#pragma once

#include <cstdint>
#include <optional>

namespace virelo::wlroots {

// The evdev code of the virtual key code; nullopt for a code without a key (Fn among them: the
// keymaps give its evdev code no symbol).
std::optional<std::uint32_t> evdevKey(std::uint16_t virtualKeycode);

// The evdev code of the media key type (bits 16-31 of a media key event's data1): volume up and
// down, brightness up and down, mute, play/pause, next and previous track.
std::optional<std::uint32_t> mediaEvdevKey(int keyType);

// The evdev code of the mouse button number of the event services (0 left, 1 right, 2 middle,
// then the side buttons); nullopt beyond the buttons a mouse has.
std::optional<std::uint32_t> evdevButton(std::uint32_t button);

}  // namespace virelo::wlroots
