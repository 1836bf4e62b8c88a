// The keys of the X11 window server: the virtual key codes of the event services (the codes the
// event synthesis posts) and the auxiliary-control (media) key types, each to its key in the
// Linux input layer (evdev) and so to its X key code (X key code = evdev code + 8, the rule of
// the X servers' evdev and libinput keyboard drivers and of XWayland), and back.
#pragma once

#include <cstdint>
#include <optional>

namespace virelo::x11 {

// The X key code of the virtual key code; nullopt for a code without a key on X (Fn among them:
// its evdev code does not fit X's 8-bit key codes).
std::optional<std::uint8_t> xKeycode(std::uint16_t virtualKeycode);
// The virtual key code of the X key code; nullopt for a key the table does not hold.
std::optional<std::uint16_t> virtualKeycode(std::uint8_t xKeycode);

// The X key code of the media key type (bits 16-31 of a media key event's data1): mute, volume
// up and down, play/pause, next and previous track, brightness up and down.
std::optional<std::uint8_t> mediaXKeycode(int keyType);
// Every media key type of mediaXKeycode.
inline constexpr int kMediaKeyTypes[] = {0, 1, 2, 3, 7, 16, 17, 18};
// The media key type of the X key code.
std::optional<int> mediaKeyType(std::uint8_t xKeycode);

// The flags mask of a modifier key (the generic flag and the side-specific device bit); 0 for any
// other key. Caps lock (57) is not a modifier here: its key toggles a lock.
std::uint64_t modifierMask(std::uint16_t virtualKeycode);

inline constexpr std::uint16_t kCapsLockKeycode = 57;
inline constexpr std::uint16_t kFnKeycode = 63;

}  // namespace virelo::x11
