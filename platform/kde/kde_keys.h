// The keys of the KDE window server: the virtual key codes of the event services (the codes the
// event synthesis posts) and the auxiliary-control (media) key types, each to its key in the
// Linux input layer (evdev), which is what KWin's fake input takes. Keys go by position, as the
// HID usages do: the compositor's keymap decides the character.
#pragma once

#include <cstdint>
#include <optional>

namespace virelo::kde {

// The evdev code of the virtual key code; nullopt for a code without a key (Fn among them: the
// compositor has no key for it).
std::optional<std::uint16_t> evdevKey(std::uint16_t virtualKeycode);

// The evdev code of the media key type (bits 16-31 of a media key event's data1): mute, volume
// up and down, play/pause, next and previous track, brightness up and down.
std::optional<std::uint16_t> mediaEvdevKey(int keyType);

// The flags mask of a modifier key (the generic flag and the side-specific device bit); 0 for any
// other key. Caps lock (57) is not a modifier here: its key toggles a lock.
std::uint64_t modifierMask(std::uint16_t virtualKeycode);

// The evdev code of the button of a mouse event: left, right and the third (middle) button.
std::uint16_t evdevButton(std::uint32_t button);

}  // namespace virelo::kde
