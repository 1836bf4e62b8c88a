// Decoding UTF-8 text one character at a time.
#pragma once

#include <cstddef>
#include <string_view>

namespace virelo::client {

// What decodeUtf8 gives for bytes that are not valid UTF-8.
inline constexpr char32_t kInvalidCharacter = 0xFFFD;

// Decodes the character at text[offset] and advances offset past it; an invalid byte gives
// kInvalidCharacter and advances by one.
char32_t decodeUtf8(std::string_view text, std::size_t& offset);

}  // namespace virelo::client
