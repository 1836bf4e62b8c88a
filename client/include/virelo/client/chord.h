// A key chord such as "ctrl+shift+a": modifiers and keys pressed together.
#pragma once

#include <cstdint>
#include <set>
#include <string_view>

namespace virelo::client {

struct Chord {
  std::uint8_t modifiers = 0;
  std::set<int> keys;
  // Media keys pressed with the others (consumer usages).
  std::set<int> media = {};

  bool operator==(const Chord&) const = default;
};

class KeyboardLayout;

// Parses names joined by '+': the names of key_names.h (one-character key names in the layout),
// media key names, and XKB keysym names ("Page_Up", "KP_Enter", "XF86AudioRaiseVolume",
// "exclam"; exact case first, then any case), each the key of the layout that gives it, with the
// modifiers of its level. Throws UnknownKeyName for a part that is none of these, including an
// empty part.
Chord parseChord(std::string_view text, const KeyboardLayout& layout);
// The same with the US layout.
Chord parseChord(std::string_view text);

}  // namespace virelo::client
