// typeText() was given a character that the US keyboard layout cannot type. Nothing was sent.
#pragma once

#include <cstddef>
#include <string>

#include "virelo/client/error.h"

namespace virelo::client {

class UntypableText : public Error {
 public:
  UntypableText(char32_t character, std::size_t offset)
      : Error(describe(character, offset)), character_(character), offset_(offset) {}

  // The first character that cannot be typed, as a Unicode code point (U+FFFD for bytes that
  // are not valid UTF-8).
  char32_t character() const { return character_; }
  // Its byte offset in the text.
  std::size_t offset() const { return offset_; }

 private:
  static std::string describe(char32_t c, std::size_t offset) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (int shift = 20; shift >= 0; shift -= 4) hex.push_back(digits[(c >> shift) & 0xF]);
    while (hex.size() > 4 && hex.front() == '0') hex.erase(0, 1);
    return "cannot type U+" + hex + " (byte offset " + std::to_string(offset) +
           ") with the US keyboard layout";
  }

  char32_t character_;
  std::size_t offset_;
};

}  // namespace virelo::client
