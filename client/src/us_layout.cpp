#include "virelo/client/us_layout.h"

#include <string_view>

#include "virelo/client/untypable_text.h"

namespace virelo::client {
namespace {

constexpr char32_t kInvalid = 0xFFFD;

// Punctuation keys of the US layout: the unshifted and the shifted character of each key.
struct PunctuationKey {
  char plain;
  char shifted;
  int usage;
};
constexpr PunctuationKey kPunctuation[] = {
    {'-', '_', 45},  {'=', '+', 46}, {'[', '{', 47},  {']', '}', 48},
    {'\\', '|', 49}, {';', ':', 51}, {'\'', '"', 52}, {'`', '~', 53},
    {',', '<', 54},  {'.', '>', 55}, {'/', '?', 56},
};
// The characters on the digit keys with shift, from 1 to 0.
constexpr std::string_view kShiftedDigits = "!@#$%^&*()";

// Decodes one UTF-8 character at text[offset]; advances offset. Invalid input gives kInvalid.
char32_t decode(std::string_view text, std::size_t& offset) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char first = byte(offset);
  int length = first < 0x80           ? 1
               : (first >> 5) == 0x6  ? 2
               : (first >> 4) == 0xE  ? 3
               : (first >> 3) == 0x1E ? 4
                                      : 0;
  if (length == 0 || offset + length > text.size()) {
    ++offset;
    return kInvalid;
  }
  char32_t c = length == 1 ? first : first & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    unsigned char next = byte(offset + i);
    if ((next & 0xC0) != 0x80) {
      ++offset;
      return kInvalid;
    }
    c = (c << 6) | (next & 0x3F);
  }
  offset += length;
  return c;
}

}  // namespace

std::optional<Keystroke> usKeystroke(char32_t c) {
  if (c >= 'a' && c <= 'z') return Keystroke{4 + static_cast<int>(c - 'a'), false};
  if (c >= 'A' && c <= 'Z') return Keystroke{4 + static_cast<int>(c - 'A'), true};
  if (c >= '1' && c <= '9') return Keystroke{30 + static_cast<int>(c - '1'), false};
  if (c == '0') return Keystroke{39, false};
  if (c == '\n') return Keystroke{40, false};
  if (c == '\t') return Keystroke{43, false};
  if (c == ' ') return Keystroke{44, false};
  if (c > 0x7F) return std::nullopt;
  auto digit = kShiftedDigits.find(static_cast<char>(c));
  if (digit != std::string_view::npos) return Keystroke{30 + static_cast<int>(digit), true};
  for (const auto& key : kPunctuation) {
    if (c == static_cast<char32_t>(key.plain)) return Keystroke{key.usage, false};
    if (c == static_cast<char32_t>(key.shifted)) return Keystroke{key.usage, true};
  }
  return std::nullopt;
}

std::vector<Keystroke> usKeystrokes(std::string_view text) {
  std::vector<Keystroke> strokes;
  std::size_t offset = 0;
  while (offset < text.size()) {
    std::size_t start = offset;
    char32_t c = decode(text, offset);
    auto stroke = c == kInvalid ? std::nullopt : usKeystroke(c);
    if (!stroke) throw UntypableText(c, start);
    strokes.push_back(*stroke);
  }
  return strokes;
}

}  // namespace virelo::client
