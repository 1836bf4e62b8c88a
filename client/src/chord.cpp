#include "virelo/client/chord.h"

#include <string>

#include "virelo/client/key_names.h"
#include "virelo/client/keyboard_layout.h"
#include "virelo/client/unknown_key_name.h"

namespace virelo::client {

Chord parseChord(std::string_view text) {
  return parseChord(text, KeyboardLayout::us());
}

Chord parseChord(std::string_view text, const KeyboardLayout& layout) {
  Chord chord;
  std::size_t start = 0;
  for (;;) {
    std::size_t plus = text.find('+', start);
    std::string_view part =
        text.substr(start, plus == std::string_view::npos ? plus : plus - start);
    if (auto bit = modifierBit(part)) {
      chord.modifiers |= *bit;
    } else if (auto usage = keyUsage(part, layout)) {
      chord.keys.insert(*usage);
    } else {
      throw UnknownKeyName(std::string(part));
    }
    if (plus == std::string_view::npos) break;
    start = plus + 1;
  }
  return chord;
}

}  // namespace virelo::client
