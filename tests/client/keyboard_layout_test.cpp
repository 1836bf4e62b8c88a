// Keyboard layouts compiled from the system's XKB data: the US mapping, other layouts' keys,
// modifiers and dead keys, untypable text, layout names and the environment's layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "virelo/client/client.h"
#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"

namespace virelo::client {
namespace {

constexpr std::uint8_t kShift = modifier::leftShift;
constexpr std::uint8_t kAltGr = modifier::rightAlt;

std::vector<Keystroke> strokesOf(const KeyboardLayout& layout, char32_t c) {
  const auto* strokes = layout.keystrokes(c);
  return strokes != nullptr ? *strokes : std::vector<Keystroke>{};
}

TEST(UsLayout, LettersDigitsAndWhitespace) {
  const std::pair<char32_t, Keystroke> cases[] = {
      {'a', {4, 0}},  {'z', {29, 0}}, {'A', {4, kShift}}, {'Z', {29, kShift}}, {'1', {30, 0}},
      {'9', {38, 0}}, {'0', {39, 0}}, {'\n', {40, 0}},    {'\t', {43, 0}},     {' ', {44, 0}},
  };
  for (const auto& [c, stroke] : cases) {
    EXPECT_EQ(strokesOf(KeyboardLayout::us(), c), std::vector<Keystroke>{stroke}) << char(c);
  }
}

TEST(UsLayout, PunctuationKeysWithAndWithoutShift) {
  const std::pair<char, Keystroke> cases[] = {
      {'!', {30, kShift}}, {'@', {31, kShift}}, {'^', {35, kShift}}, {'(', {38, kShift}},
      {')', {39, kShift}}, {'-', {45, 0}},      {'_', {45, kShift}}, {'=', {46, 0}},
      {'+', {46, kShift}}, {'[', {47, 0}},      {'{', {47, kShift}}, {']', {48, 0}},
      {'}', {48, kShift}}, {'\\', {49, 0}},     {'|', {49, kShift}}, {';', {51, 0}},
      {':', {51, kShift}}, {'\'', {52, 0}},     {'"', {52, kShift}}, {'`', {53, 0}},
      {'~', {53, kShift}}, {',', {54, 0}},      {'<', {54, kShift}}, {'.', {55, 0}},
      {'>', {55, kShift}}, {'/', {56, 0}},      {'?', {56, kShift}}, {'*', {37, kShift}},
  };
  for (const auto& [c, stroke] : cases) {
    EXPECT_EQ(strokesOf(KeyboardLayout::us(), c), std::vector<Keystroke>{stroke}) << c;
  }
}

TEST(UsLayout, CharactersWithoutAKeyHaveNoKeystroke) {
  for (char32_t c : {U'\r', U'\0', U'\x7f', U'\x1b', U'\b', U'é', U'€', U'ß'}) {
    EXPECT_EQ(KeyboardLayout::us().keystrokes(c), nullptr) << static_cast<unsigned>(c);
  }
}

// Keys that differ from US, AltGr levels and dead keys, in several layouts.
TEST(NamedLayouts, FindKeysModifiersAndDeadKeys) {
  struct Case {
    const char* layout;
    char32_t character;
    std::vector<Keystroke> strokes;
  };
  const Case cases[] = {
      {"de", U'z', {{0x1C, 0}}},
      {"de", U'ü', {{0x2F, 0}}},
      {"de", U'€', {{0x08, kAltGr}}},
      {"de", U'@', {{0x14, kAltGr}}},
      {"de", U'<', {{0x64, 0}}},
      {"de", U'é', {{0x2E, 0}, {0x08, 0}}},  // dead acute, e
      {"fr(azerty)", U'a', {{0x14, 0}}},
      {"fr(azerty)", U'1', {{0x1E, kShift}}},
      {"us(intl)", U'é', {{0x08, kAltGr}}},
      {"us(intl)", U'ê', {{0x23, kShift}, {0x08, 0}}},  // dead circumflex, e
      {"us(intl)", U'\'', {{0x34, kAltGr}}},
      {"es", U'~', {{0x21, kAltGr}}},
      {"ru", U'я', {{0x1D, 0}}},
      {"gb", U'£', {{0x20, kShift}}},
  };
  for (const Case& c : cases) {
    auto layout = KeyboardLayout::named(parseLayoutName(c.layout));
    EXPECT_EQ(strokesOf(*layout, c.character), c.strokes)
        << c.layout << " U+" << std::hex << static_cast<unsigned>(c.character);
  }
}

TEST(NamedLayouts, AreCompiledOnceAndCached) {
  EXPECT_EQ(KeyboardLayout::named(parseLayoutName("de")),
            KeyboardLayout::named(parseLayoutName("de")));
}

TEST(NamedLayouts, UnknownLayoutsAndVariantsAreRefused) {
  for (const char* name : {"xx", "de(nosuchvariant)", "", "de(", "../de", "de()"}) {
    EXPECT_THROW(KeyboardLayout::named(parseLayoutName(name)), UnknownLayout) << name;
  }
}

TEST(NamedLayouts, TheRegistryListsLayoutsAndVariantsByTheNamesThatParse) {
  const auto known = knownLayouts();
  EXPECT_NE(
      std::find(known.begin(), known.end(), KnownLayout{"de(nodeadkeys)", "German (no dead keys)"}),
      known.end());
  for (const auto& layout : known) EXPECT_NO_THROW(parseLayoutName(layout.name)) << layout.name;
}

TEST(LayoutText, MapsEveryCharacterInOrder) {
  std::vector<Keystroke> expected{{11, kShift}, {12, 0}, {30, kShift}};
  EXPECT_EQ(KeyboardLayout::us().keystrokes("Hi!"), expected);
  EXPECT_TRUE(KeyboardLayout::us().keystrokes("").empty());
}

TEST(LayoutText, NamesEveryUntypableCharacterAndInvalidByte) {
  try {
    KeyboardLayout::us().keystrokes(
        "ab\xC3\xA9"
        "c\xE2\x82\xAC\x80");  // "abéc€" and a stray continuation byte
    FAIL() << "no error";
  } catch (const UntypableText& e) {
    std::vector<UntypableCharacter> expected{{U'é', 2}, {U'€', 5}, {U'\xFFFD', 8}};
    EXPECT_EQ(e.characters(), expected);
    EXPECT_STREQ(e.what(),
                 "cannot type U+00E9 (byte offset 2), U+20AC (byte offset 5), U+FFFD (byte "
                 "offset 8) with the keyboard layout us");
  }
}

TEST(LayoutName, ReadsLayoutAndVariant) {
  EXPECT_EQ(parseLayoutName("fr(azerty)").layout, "fr");
  EXPECT_EQ(parseLayoutName("fr(azerty)").variant, "azerty");
  EXPECT_EQ(describe(parseLayoutName("us(intl)")), "us(intl)");
}

TEST(EnvironmentLayout, XkbDefaultVariablesOverrideTheDefaults) {
  std::map<std::string, std::string> environment{
      {"XKB_DEFAULT_LAYOUT", "fr"}, {"XKB_DEFAULT_VARIANT", "azerty"}, {"XKB_DEFAULT_MODEL", ""}};
  auto lookup = [&](const char* name) -> const char* {
    auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
  };
  LayoutName name = layoutNameFromEnvironment(lookup);
  EXPECT_EQ(name, (LayoutName{"evdev", "pc105", "fr", "azerty", ""}));
  environment.clear();
  EXPECT_EQ(layoutNameFromEnvironment(lookup), LayoutName{});
}

}  // namespace
}  // namespace virelo::client
