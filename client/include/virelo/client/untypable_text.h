// typeText() was given characters that the keyboard layout cannot type. Nothing was sent.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "virelo/client/error.h"

namespace virelo::client {

// One character of a text that cannot be typed, as a Unicode code point (U+FFFD for bytes that
// are not valid UTF-8), with its byte offset in the text.
struct UntypableCharacter {
  char32_t character = 0;
  std::size_t offset = 0;

  bool operator==(const UntypableCharacter&) const = default;
};

class UntypableText : public Error {
 public:
  // `characters` is not empty; `layout` names the layout in the message.
  UntypableText(std::vector<UntypableCharacter> characters, const std::string& layout)
      : Error(describe(characters, layout)), characters_(std::move(characters)) {}

  // Every character that cannot be typed, in the order of the text.
  const std::vector<UntypableCharacter>& characters() const { return characters_; }
  // The first of them and its offset.
  char32_t character() const { return characters_.front().character; }
  std::size_t offset() const { return characters_.front().offset; }

 private:
  static std::string codePoint(char32_t c) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (int shift = 20; shift >= 0; shift -= 4) hex.push_back(digits[(c >> shift) & 0xF]);
    while (hex.size() > 4 && hex.front() == '0') hex.erase(0, 1);
    return "U+" + hex;
  }
  static std::string describe(const std::vector<UntypableCharacter>& characters,
                              const std::string& layout) {
    std::string text = "cannot type ";
    for (std::size_t i = 0; i < characters.size(); ++i) {
      if (i != 0) text += ", ";
      text += codePoint(characters[i].character) + " (byte offset " +
              std::to_string(characters[i].offset) + ")";
    }
    return text + " with the keyboard layout " + layout;
  }

  std::vector<UntypableCharacter> characters_;
};

}  // namespace virelo::client
