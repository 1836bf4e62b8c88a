// The US layout mapping from characters and texts to keystrokes.
#include "virelo/client/us_layout.h"

#include <gtest/gtest.h>

#include "virelo/client/untypable_text.h"

namespace virelo::client {
namespace {

TEST(UsLayout, LettersAreUnshiftedInLowerCaseAndShiftedInUpperCase) {
  EXPECT_EQ(usKeystroke('a'), (Keystroke{4, false}));
  EXPECT_EQ(usKeystroke('z'), (Keystroke{29, false}));
  EXPECT_EQ(usKeystroke('A'), (Keystroke{4, true}));
  EXPECT_EQ(usKeystroke('Z'), (Keystroke{29, true}));
}

TEST(UsLayout, DigitsRunFromOneToZero) {
  EXPECT_EQ(usKeystroke('1'), (Keystroke{30, false}));
  EXPECT_EQ(usKeystroke('9'), (Keystroke{38, false}));
  EXPECT_EQ(usKeystroke('0'), (Keystroke{39, false}));
}

TEST(UsLayout, ShiftedDigitRowSymbols) {
  EXPECT_EQ(usKeystroke('!'), (Keystroke{30, true}));
  EXPECT_EQ(usKeystroke('@'), (Keystroke{31, true}));
  EXPECT_EQ(usKeystroke('^'), (Keystroke{35, true}));
  EXPECT_EQ(usKeystroke('('), (Keystroke{38, true}));
  EXPECT_EQ(usKeystroke(')'), (Keystroke{39, true}));
}

TEST(UsLayout, PunctuationKeysWithAndWithoutShift) {
  const std::pair<char, Keystroke> cases[] = {
      {'-', {45, false}},  {'_', {45, true}}, {'=', {46, false}}, {'+', {46, true}},
      {'[', {47, false}},  {'{', {47, true}}, {']', {48, false}}, {'}', {48, true}},
      {'\\', {49, false}}, {'|', {49, true}}, {';', {51, false}}, {':', {51, true}},
      {'\'', {52, false}}, {'"', {52, true}}, {'`', {53, false}}, {'~', {53, true}},
      {',', {54, false}},  {'<', {54, true}}, {'.', {55, false}}, {'>', {55, true}},
      {'/', {56, false}},  {'?', {56, true}},
  };
  for (const auto& [c, stroke] : cases) EXPECT_EQ(usKeystroke(c), stroke) << c;
}

TEST(UsLayout, WhitespaceKeys) {
  EXPECT_EQ(usKeystroke('\n'), (Keystroke{40, false}));
  EXPECT_EQ(usKeystroke('\t'), (Keystroke{43, false}));
  EXPECT_EQ(usKeystroke(' '), (Keystroke{44, false}));
}

TEST(UsLayout, CharactersWithoutAKeyHaveNoKeystroke) {
  for (char32_t c : {U'\r', U'\0', U'\x7f', U'\x1b', U'é', U'€', U'ß'}) {
    EXPECT_FALSE(usKeystroke(c)) << static_cast<unsigned>(c);
  }
}

TEST(UsLayoutText, MapsEveryCharacterInOrder) {
  std::vector<Keystroke> expected{{11, true}, {12, false}, {30, true}};
  EXPECT_EQ(usKeystrokes("Hi!"), expected);
  EXPECT_TRUE(usKeystrokes("").empty());
}

TEST(UsLayoutText, ReportsTheFirstUntypableCharacterAndItsOffset) {
  try {
    usKeystrokes(
        "ab\xC3\xA9"
        "c\xE2\x82\xAC");  // "abéc€"
    FAIL() << "no error";
  } catch (const UntypableText& e) {
    EXPECT_EQ(e.character(), U'é');
    EXPECT_EQ(e.offset(), 2u);
    EXPECT_NE(std::string(e.what()).find("U+00E9"), std::string::npos) << e.what();
  }
}

TEST(UsLayoutText, InvalidUtf8IsUntypable) {
  for (std::string_view bad : {"a\xC3", "a\x80z", "a\xE2\x82z"}) {
    try {
      usKeystrokes(bad);
      FAIL() << "no error";
    } catch (const UntypableText& e) {
      EXPECT_EQ(e.character(), U'\xFFFD');
      EXPECT_EQ(e.offset(), 1u);
    }
  }
}

}  // namespace
}  // namespace virelo::client
