// A key chord such as "ctrl+shift+a": modifiers and keys pressed together.
#pragma once

#include <cstdint>
#include <set>
#include <string_view>

namespace virelo::client {

struct Chord {
  std::uint8_t modifiers = 0;
  std::set<int> keys;

  bool operator==(const Chord&) const = default;
};

class KeyboardLayout;

// Parses names joined by '+' (see key_names.h), one-character key names in the layout; throws
// UnknownKeyName for a part that is neither a modifier nor a key, including an empty part.
Chord parseChord(std::string_view text, const KeyboardLayout& layout);
// The same with the US layout.
Chord parseChord(std::string_view text);

}  // namespace virelo::client
