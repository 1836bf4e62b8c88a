// The parts of key-name look-up that the US names of keys.h and the layout names of layouts.h
// share: a name of one character names the key that types that character without modifiers in
// some layout; any other name is a position ("return", "f5"). Also used by the Layouts library.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "virelo/client/errors.h"
#include "virelo/client/keys.h"

namespace virelo::client {

// The character of a name that is one character (ASCII letters in lower case; the empty name
// gives 0), or nullopt for a longer name.
std::optional<char32_t> nameCharacter(std::string_view name);

// The usage of a position name ("return", "f5", "left-arrow", ...), or nullopt.
std::optional<int> positionUsage(std::string_view name);

// The usage of a key name, with `plainKey(c)` the key that types c without modifiers (or nullopt).
template <typename PlainKey>
std::optional<int> keyUsageWith(std::string_view name, const PlainKey& plainKey) {
  if (const auto c = nameCharacter(name)) {
    if (*c <= U' ') return std::nullopt;  // control characters and space name no key
    return plainKey(*c);
  }
  return positionUsage(name);
}

// Parses names joined by '+', with `keyUsage(name)` the usage of a key name, then media key names,
// then `otherName(name, chord)`, which adds what another name gives and says whether it did;
// throws UnknownKeyName for a part that none of them takes, including an empty part.
template <typename KeyUsage, typename OtherName>
Chord parseChordWith(std::string_view text, const KeyUsage& keyUsage, const OtherName& otherName) {
  Chord chord;
  std::size_t start = 0;
  for (;;) {
    std::size_t plus = text.find('+', start);
    std::string_view part =
        text.substr(start, plus == std::string_view::npos ? plus : plus - start);
    if (auto bit = modifierBit(part)) {
      chord.modifiers |= *bit;
    } else if (auto usage = keyUsage(part)) {
      chord.keys.insert(*usage);
    } else if (auto media = mediaUsage(part)) {
      chord.media.insert(*media);
    } else if (part.empty() || !otherName(part, chord)) {
      throw UnknownKeyName(std::string(part));
    }
    if (plus == std::string_view::npos) break;
    start = plus + 1;
  }
  return chord;
}

// The same without other names.
template <typename KeyUsage>
Chord parseChordWith(std::string_view text, const KeyUsage& keyUsage) {
  return parseChordWith(text, keyUsage, [](std::string_view, Chord&) { return false; });
}

}  // namespace virelo::client
