// The client token from the environment: 64 hexadecimal characters, ASCII or fullwidth.
#include "service/token.h"

#include <gtest/gtest.h>

#include <string>

namespace virelo {
namespace {

std::string repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

const std::string kLower = repeat("0123456789abcdef", 4);

// UTF-8 of U+FF10 (fullwidth '0'), U+FF21 (fullwidth 'A'), U+FF41 (fullwidth 'a').
const std::string kWideZero = "\xEF\xBC\x90";
const std::string kWideNine = "\xEF\xBC\x99";
const std::string kWideUpperA = "\xEF\xBC\xA1";
const std::string kWideUpperF = "\xEF\xBC\xA6";
const std::string kWideLowerA = "\xEF\xBD\x81";
const std::string kWideLowerF = "\xEF\xBD\x86";

TEST(Token, SixtyFourLowerCaseDigitsAreAcceptedUnchanged) {
  EXPECT_EQ(readToken(kLower.c_str()), kLower);
}

TEST(Token, SixtyFourUpperCaseDigitsAreAcceptedWithoutCaseFolding) {
  std::string upper = repeat("0123456789ABCDEF", 4);
  EXPECT_EQ(readToken(upper.c_str()), upper);
}

TEST(Token, SixtyThreeAndSixtyFiveCharactersAreRefused) {
  EXPECT_EQ(readToken(kLower.substr(0, 63).c_str()), std::nullopt);
  EXPECT_EQ(readToken((kLower + "a").c_str()), std::nullopt);
  EXPECT_EQ(readToken(""), std::nullopt);
}

TEST(Token, NonHexadecimalCharacterIsRefused) {
  for (const char* bad : {"g", "G", " ", "-", "x", "\t"}) {
    std::string token = kLower.substr(0, 63) + bad;
    EXPECT_EQ(readToken(token.c_str()), std::nullopt) << bad;
  }
}

TEST(Token, UnsetVariableIsRefused) {
  EXPECT_EQ(readToken(nullptr), std::nullopt);
}

TEST(Token, FullwidthDigitsAndLettersCountAsOneCharacterEach) {
  std::string digits = repeat(kWideZero + kWideNine, 32);
  EXPECT_EQ(readToken(digits.c_str()), digits);
  std::string letters = repeat(kWideUpperA + kWideUpperF + kWideLowerA + kWideLowerF, 16);
  EXPECT_EQ(readToken(letters.c_str()), letters);
}

TEST(Token, MixedAsciiAndFullwidthIsAccepted) {
  std::string mixed = repeat("a" + kWideZero + "F" + kWideLowerF, 16);
  EXPECT_TRUE(tokenWellFormed(mixed));
  EXPECT_FALSE(tokenWellFormed(mixed + "0"));
  EXPECT_FALSE(tokenWellFormed(mixed.substr(0, mixed.size() - kWideLowerF.size())));
}

TEST(Token, LengthIsCountedInCharactersNotBytes) {
  // 64 fullwidth digits are 192 bytes; 22 of them are 66 bytes but only 22 characters.
  EXPECT_FALSE(tokenWellFormed(repeat(kWideZero, 22)));
  EXPECT_FALSE(tokenWellFormed(repeat(kWideZero, 63)));
  EXPECT_TRUE(tokenWellFormed(repeat(kWideZero, 64)));
  EXPECT_FALSE(tokenWellFormed(repeat(kWideZero, 65)));
}

TEST(Token, FullwidthCharactersNextToTheHexRangesAreRefused) {
  // U+FF1A (fullwidth colon), U+FF27 (fullwidth 'G'), U+FF47 (fullwidth 'g'), U+FF20 ('@').
  for (const char* bad : {"\xEF\xBC\x9A", "\xEF\xBC\xA7", "\xEF\xBD\x87", "\xEF\xBC\xA0"}) {
    EXPECT_FALSE(tokenWellFormed(kLower.substr(0, 63) + bad)) << bad;
  }
}

TEST(Token, InvalidUtf8IsRefused) {
  for (const std::string& bad : {std::string("\xFF"), std::string("\xEF\xBC"), std::string("\x80"),
                                 std::string("\xC0\xB0"),          // overlong '0'
                                 std::string("\xE0\x80\xB0"),      // overlong '0'
                                 std::string("\xEF\xBC\x90\x90"),  // stray continuation byte
                                 std::string("\xED\xA0\x80")}) {   // surrogate
    EXPECT_FALSE(tokenWellFormed(kLower.substr(0, 63) + bad));
    EXPECT_FALSE(tokenWellFormed(bad + kLower.substr(0, 63)));
  }
}

TEST(Token, CombiningMarkAfterADigitIsRefused) {
  // "a" + U+0301 is one user-perceived character, but not a single hexadecimal digit.
  EXPECT_FALSE(tokenWellFormed(kLower.substr(0, 63) + "a\xCC\x81"));
}

}  // namespace
}  // namespace virelo
