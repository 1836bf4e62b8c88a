#include "utf8.h"

namespace virelo::client {

char32_t decodeUtf8(std::string_view text, std::size_t& offset) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char first = byte(offset);
  int length = first < 0x80           ? 1
               : (first >> 5) == 0x6  ? 2
               : (first >> 4) == 0xE  ? 3
               : (first >> 3) == 0x1E ? 4
                                      : 0;
  if (length == 0 || offset + length > text.size()) {
    ++offset;
    return kInvalidCharacter;
  }
  char32_t c = length == 1 ? first : first & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    unsigned char next = byte(offset + i);
    if ((next & 0xC0) != 0x80) {
      ++offset;
      return kInvalidCharacter;
    }
    c = (c << 6) | (next & 0x3F);
  }
  offset += length;
  return c;
}

}  // namespace virelo::client
