// The keys and buttons of the GNOME window server: the virtual key codes of the event services
// (the codes the event synthesis posts), the auxiliary-control (media) key types and the mouse
// buttons, each to its code in the Linux input layer (evdev), which is what mutter's remote
// desktop session takes. Keys go by position, so the active layout decides the character, as
// for a keyboard.
#pragma once

#include <cstdint>
#include <optional>

namespace virelo::gnome {

// The evdev key code of the virtual key code; nullopt for a code without a key (Fn among them,
// which no keyboard reports to the compositor).
std::optional<std::uint32_t> evdevKey(std::uint16_t virtualKeycode);
// The evdev key code of the media key type (bits 16-31 of a media key event's data1): volume up
// and down, brightness up and down, mute, play/pause, next and previous track.
std::optional<std::uint32_t> mediaEvdevKey(int keyType);
// The evdev button code of the event's button: 0 left, 1 right, 2 middle, 3 back, 4 forward.
std::optional<std::int32_t> evdevButton(std::uint32_t button);

// The flags mask of a modifier key (the generic flag and the side-specific device bit); 0 for any
// other key. Caps lock is not a modifier here: its key toggles a lock.
std::uint64_t modifierMask(std::uint16_t virtualKeycode);

inline constexpr std::uint16_t kCapsLockKeycode = 57;
inline constexpr std::uint16_t kFnKeycode = 63;

}  // namespace virelo::gnome
