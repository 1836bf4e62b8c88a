// The token comparison: exact byte-for-byte equality, nothing looser.
#include "bridge/token_compare.h"

#include <gtest/gtest.h>

#include <string>

namespace virelo {
namespace {

const std::string kToken = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

TEST(TokenCompare, IdenticalBytesMatch) {
  EXPECT_TRUE(sameToken(kToken, kToken));
  EXPECT_TRUE(sameToken(std::string(kToken), kToken));
  EXPECT_TRUE(sameToken("", ""));
}

TEST(TokenCompare, LetterCaseMatters) {
  std::string upper = kToken;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_FALSE(sameToken(upper, kToken));
  std::string oneUpper = kToken;
  oneUpper[63] = 'F';
  EXPECT_FALSE(sameToken(oneUpper, kToken));
}

TEST(TokenCompare, ADifferenceAtAnyPositionFails) {
  for (std::size_t i = 0; i < kToken.size(); ++i) {
    std::string guess = kToken;
    guess[i] = static_cast<char>(guess[i] ^ 1);
    EXPECT_FALSE(sameToken(guess, kToken)) << i;
  }
}

TEST(TokenCompare, LengthMismatchFailsEvenWithACommonPrefix) {
  EXPECT_FALSE(sameToken(kToken.substr(0, 63), kToken));
  EXPECT_FALSE(sameToken(kToken + "0", kToken));
  EXPECT_FALSE(sameToken("", kToken));
  EXPECT_FALSE(sameToken(kToken, ""));
}

TEST(TokenCompare, TrailingZeroBytesDoNotPadAShorterGuess) {
  // The comparison treats missing bytes as zero internally; the length check must still fail.
  EXPECT_FALSE(sameToken(kToken + std::string(1, '\0'), kToken));
  EXPECT_FALSE(sameToken(std::string(3, '\0'), ""));
}

TEST(TokenCompare, EmbeddedZeroBytesAreCompared) {
  std::string a("ab\0cd", 5);
  std::string b("ab\0ce", 5);
  EXPECT_TRUE(sameToken(a, std::string("ab\0cd", 5)));
  EXPECT_FALSE(sameToken(a, b));
}

}  // namespace
}  // namespace virelo
