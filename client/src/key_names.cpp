#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "key_lookup.h"
#include "utf8.h"
#include "virelo/client/client.h"
#include "virelo/client/keys.h"
#include "virelo/protocol/usages.h"

namespace virelo::client {
namespace {

struct Named {
  const char* name;
  int value;
};

// Keys by name; the first name of a usage is its preferred name.
constexpr Named kKeys[] = {
    {"return", 40},      {"enter", 40},        {"escape", 41},        {"esc", 41},
    {"backspace", 42},   {"tab", 43},          {"space", 44},         {"minus", 45},
    {"equals", 46},      {"left-bracket", 47}, {"right-bracket", 48}, {"backslash", 49},
    {"semicolon", 51},   {"quote", 52},        {"apostrophe", 52},    {"grave", 53},
    {"backtick", 53},    {"comma", 54},        {"period", 55},        {"dot", 55},
    {"slash", 56},       {"capslock", 57},     {"printscreen", 70},   {"scrolllock", 71},
    {"pause", 72},       {"insert", 73},       {"home", 74},          {"pageup", 75},
    {"delete", 76},      {"end", 77},          {"pagedown", 78},      {"right", 79},
    {"right-arrow", 79}, {"left", 80},         {"left-arrow", 80},    {"down", 81},
    {"down-arrow", 81},  {"up", 82},           {"up-arrow", 82},
};

constexpr Named kModifiers[] = {
    {"ctrl", modifier::leftCtrl},        {"control", modifier::leftCtrl},
    {"shift", modifier::leftShift},      {"alt", modifier::leftAlt},
    {"option", modifier::leftAlt},       {"gui", modifier::leftGui},
    {"cmd", modifier::leftGui},          {"command", modifier::leftGui},
    {"super", modifier::leftGui},        {"meta", modifier::leftGui},
    {"right-ctrl", modifier::rightCtrl}, {"right-shift", modifier::rightShift},
    {"right-alt", modifier::rightAlt},   {"right-gui", modifier::rightGui},
};

// The public media usages are the protocol's.
static_assert(media::mute == protocol::kUsageMute && media::volumeUp == protocol::kUsageVolumeUp &&
              media::volumeDown == protocol::kUsageVolumeDown &&
              media::playPause == protocol::kUsagePlayPause &&
              media::nextTrack == protocol::kUsageNextTrack &&
              media::previousTrack == protocol::kUsagePreviousTrack);

constexpr Named kMedia[] = {
    {"mute", media::mute},
    {"volume-up", media::volumeUp},
    {"volume-down", media::volumeDown},
    {"play-pause", media::playPause},
    {"play", media::playPause},
    {"next", media::nextTrack},
    {"previous", media::previousTrack},
    {"prev", media::previousTrack},
};

// The names, and the X server's button numbers.
constexpr Named kButtons[] = {
    {"left", button::primary},    {"primary", button::primary},
    {"right", button::secondary}, {"secondary", button::secondary},
    {"middle", button::middle},   {"1", button::primary},
    {"2", button::middle},        {"3", button::secondary},
};

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::replace(out.begin(), out.end(), '_', '-');
  return out;
}

template <std::size_t N>
std::optional<int> find(const Named (&table)[N], std::string_view name) {
  std::string key = lower(name);
  for (const auto& entry : table) {
    if (key == entry.name) return entry.value;
  }
  return std::nullopt;
}

template <std::size_t N>
const char* nameOf(const Named (&table)[N], int value) {
  for (const auto& entry : table) {
    if (entry.value == value) return entry.name;
  }
  return nullptr;
}

std::string hexName(int value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%02X", static_cast<unsigned>(value));
  return text;
}

// The usage of a name that keyName gives a key without a name: "0x" and two hexadecimal digits,
// a keyboard usage 0x04..0xDF (e.g. "0x58", the keypad's Enter); the modifiers have names.
std::optional<int> hexUsage(const std::string& key) {
  if (key.size() != 4 || key[0] != '0' || key[1] != 'x' ||
      !std::all_of(key.begin() + 2, key.end(), [](char c) { return std::isxdigit(c) != 0; })) {
    return std::nullopt;
  }
  int usage = std::stoi(key.substr(2), nullptr, 16);
  if (usage < 0x04 || usage > 0xDF) return std::nullopt;
  return usage;
}

// "f1" to "f24". Appended rather than written "f" + std::to_string(n): g++ 12 at -O3 reports a
// false overlap (-Wrestrict) in the inlined concatenation.
std::string functionKeyName(int number) {
  std::string name = "f";
  name += std::to_string(number);
  return name;
}

// The key that types a character without modifiers on the US layout, as the XKB "us" layout has
// it: the letters, the digits and the unshifted punctuation of the main keys.
std::optional<int> usPlainKey(char32_t c) {
  if (c >= U'a' && c <= U'z') return 4 + static_cast<int>(c - U'a');
  if (c >= U'1' && c <= U'9') return 30 + static_cast<int>(c - U'1');
  switch (c) {
    case U'0':
      return 39;
    case U'-':
      return 45;
    case U'=':
      return 46;
    case U'[':
      return 47;
    case U']':
      return 48;
    case U'\\':
      return 49;
    case U';':
      return 51;
    case U'\'':
      return 52;
    case U'`':
      return 53;
    case U',':
      return 54;
    case U'.':
      return 55;
    case U'/':
      return 56;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<char32_t> nameCharacter(std::string_view name) {
  std::size_t length = 0;
  char32_t c = name.empty() ? 0 : decodeUtf8(name, length);
  if (length != name.size() || c == kInvalidCharacter) return std::nullopt;
  if (c < 0x80) c = static_cast<char32_t>(std::tolower(static_cast<int>(c)));
  return c;
}

std::optional<int> positionUsage(std::string_view name) {
  std::string key = lower(name);
  if (key.size() >= 2 && key[0] == 'f' &&
      std::all_of(key.begin() + 1, key.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      key.size() <= 3) {
    int n = std::stoi(key.substr(1));
    if (n >= 1 && n <= 12) return 57 + n;         // F1..F12
    if (n >= 13 && n <= 24) return 104 + n - 13;  // F13..F24
    return std::nullopt;
  }
  if (auto usage = hexUsage(key)) return usage;
  return find(kKeys, name);
}

std::optional<int> keyUsage(std::string_view name) {
  return keyUsageWith(name, usPlainKey);
}

std::optional<std::uint8_t> modifierBit(std::string_view name) {
  auto bit = find(kModifiers, name);
  if (!bit) return std::nullopt;
  return static_cast<std::uint8_t>(*bit);
}

std::optional<int> mediaUsage(std::string_view name) {
  return find(kMedia, name);
}

std::optional<int> buttonBit(std::string_view name) {
  return find(kButtons, name);
}

std::string keyName(int usage) {
  if (usage >= 4 && usage <= 29) return std::string(1, static_cast<char>('a' + usage - 4));
  if (usage >= 30 && usage <= 38) return std::string(1, static_cast<char>('1' + usage - 30));
  if (usage == 39) return "0";
  if (usage >= 58 && usage <= 69) return functionKeyName(usage - 57);
  if (usage >= 104 && usage <= 115) return functionKeyName(usage - 104 + 13);
  if (const char* name = nameOf(kKeys, usage)) return name;
  return hexName(usage);
}

std::string modifierNames(std::uint8_t modifiers) {
  static constexpr const char* kNames[] = {"ctrl",       "shift",       "alt",       "gui",
                                           "right-ctrl", "right-shift", "right-alt", "right-gui"};
  std::string out;
  for (int bit = 0; bit < 8; ++bit) {
    if ((modifiers & (1 << bit)) == 0) continue;
    if (!out.empty()) out += '+';
    out += kNames[bit];
  }
  return out;
}

std::string mediaName(int usage) {
  if (const char* name = nameOf(kMedia, usage)) return name;
  return hexName(usage);
}

}  // namespace virelo::client
