#include "service/token.h"

#include <cstdint>

#include "virelo/protocol/limits.h"

namespace virelo {
namespace {

// Decodes one UTF-8 sequence at text[i], advancing i; nullopt for malformed input.
std::optional<char32_t> decode(std::string_view text, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  std::uint8_t lead = byte(i);
  std::size_t length;
  char32_t cp;
  if (lead < 0x80) {
    length = 1;
    cp = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (i + length > text.size()) return std::nullopt;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < minimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  i += length;
  return cp;
}

bool isHexDigit(char32_t c) {
  return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'f') || (c >= U'A' && c <= U'F') ||
         (c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF26) ||
         (c >= 0xFF41 && c <= 0xFF46);
}

}  // namespace

bool tokenWellFormed(std::string_view value) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < value.size();) {
    auto c = decode(value, i);
    if (!c || !isHexDigit(*c) || ++count > protocol::kTokenHexDigits) return false;
  }
  return count == protocol::kTokenHexDigits;
}

std::optional<std::string> readToken(const char* value) {
  if (value == nullptr || !tokenWellFormed(value)) return std::nullopt;
  return std::string(value);
}

}  // namespace virelo
