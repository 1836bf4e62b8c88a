// Keys by name and by number, without any keyboard layout library: human names of keys,
// modifiers, media keys and buttons as used on command lines ("ctrl", "shift", "a", "f5",
// "return", "volume-up", "left") and back, key chords such as "ctrl+shift+a", and the Linux evdev
// codes of keyboard usages. Names are case-insensitive. A name of one character names the key
// that types it without modifiers on the US layout; layouts.h has the same look-ups with any XKB
// layout.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "virelo/client/errors.h"

namespace virelo::client {

// The keyboard usage of a key name ("a", "7", "return", "f1", "left-arrow", "minus", ...). A
// name of one character names the key that types it without modifiers on the US layout
// (upper-case ASCII letters name their lower-case key); the other names are positions, among them
// the "0x.." names that keyName gives keys without a name ("0x58", 0x04..0xDF).
std::optional<int> keyUsage(std::string_view name);
// The modifier bit of a modifier name ("ctrl", "shift", "alt"/"option", "gui"/"cmd"/"super",
// with "right-" forms such as "right-shift").
std::optional<std::uint8_t> modifierBit(std::string_view name);
// The consumer usage of a media key name ("mute", "volume-up", "volume-down", "play-pause",
// "next", "previous").
std::optional<int> mediaUsage(std::string_view name);
// The button bit of a button name ("left"/"primary", "right"/"secondary", "middle") or X button
// number ("1" left, "2" middle, "3" right).
std::optional<int> buttonBit(std::string_view name);

// The preferred name of a keyboard usage; "0x.." for usages without a name.
std::string keyName(int usage);
// The names of the modifier bits joined with '+', e.g. "ctrl+shift"; empty for 0.
std::string modifierNames(std::uint8_t modifiers);
// The preferred name of a consumer usage; "0x.." for others.
std::string mediaName(int usage);

// A key chord such as "ctrl+shift+a": modifiers and keys pressed together.
struct Chord {
  std::uint8_t modifiers = 0;
  std::set<int> keys;
  // Media keys pressed with the others (consumer usages).
  std::set<int> media = {};

  bool operator==(const Chord&) const = default;
};

// Parses names joined by '+': modifiers, keys (one-character key names on the US layout) and media
// keys; throws UnknownKeyName for a part that is none of these, including an empty part.
// layouts.h's parseChord also takes XKB keysym names ("Page_Up", "XF86AudioRaiseVolume").
Chord parseChord(std::string_view text);

// The Linux evdev key code of a keyboard usage (0x04..0xE7), as the kernel's HID input driver
// assigns it, or nullopt for usages without one. XKB key codes are evdev codes plus 8.
std::optional<int> evdevCodeOfUsage(int usage);
// The keyboard usage of an evdev code; where two usages share a code (the ISO key beside Return
// and the backslash key), the lower usage.
std::optional<int> usageOfEvdevCode(int code);

}  // namespace virelo::client
