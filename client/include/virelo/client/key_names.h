// Human names of keys, modifiers, media keys and buttons, as used on command lines ("ctrl",
// "shift", "a", "f5", "return", "volume-up", "left"), and back. Names are case-insensitive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace virelo::client {

class KeyboardLayout;

// The keyboard usage of a key name ("a", "7", "return", "f1", "left-arrow", "minus", ...). A
// name of one character names the key that types it without modifiers in the layout ("ü" on
// "de"; upper-case ASCII letters name their lower-case key); the other names are positions.
std::optional<int> keyUsage(std::string_view name, const KeyboardLayout& layout);
// The same with the US layout.
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

}  // namespace virelo::client
