#include "key_lookup.h"
#include "virelo/client/keys.h"

namespace virelo::client {

Chord parseChord(std::string_view text) {
  return parseChordWith(text, [](std::string_view name) { return keyUsage(name); });
}

}  // namespace virelo::client
