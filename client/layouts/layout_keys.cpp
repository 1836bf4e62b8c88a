// Key names and chords in a keyboard layout: the look-ups of keys.h with the layout's plain keys.
#include "key_lookup.h"
#include "virelo/client/layouts.h"

namespace virelo::client {

std::optional<int> keyUsage(std::string_view name, const KeyboardLayout& layout) {
  return keyUsageWith(name, [&layout](char32_t c) { return layout.plainKey(c); });
}

Chord parseChord(std::string_view text, const KeyboardLayout& layout) {
  return parseChordWith(text, [&layout](std::string_view name) { return keyUsage(name, layout); });
}

}  // namespace virelo::client
