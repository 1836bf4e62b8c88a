// Names of keys, modifiers, media keys and buttons, and chords built from them, with the US
// names of the core library alone (no keyboard layout library). Names in other layouts:
// layout_keys_test.cpp.
#include <gtest/gtest.h>

#include "virelo/client/client.h"
#include "virelo/client/errors.h"
#include "virelo/client/keys.h"

namespace virelo::client {
namespace {

TEST(KeyNames, SingleCharactersNameTheirUnshiftedKey) {
  EXPECT_EQ(keyUsage("a"), 4);
  EXPECT_EQ(keyUsage("A"), 4);
  EXPECT_EQ(keyUsage("0"), 39);
  EXPECT_EQ(keyUsage("/"), 56);
  EXPECT_FALSE(keyUsage("?"));  // a shifted character is not a key of its own
  EXPECT_FALSE(keyUsage(" "));
}

TEST(KeyNames, NamedKeysAreCaseInsensitiveAndAcceptUnderscores) {
  EXPECT_EQ(keyUsage("Return"), 40);
  EXPECT_EQ(keyUsage("ESC"), 41);
  EXPECT_EQ(keyUsage("page_down"), std::nullopt);
  EXPECT_EQ(keyUsage("pagedown"), 78);
  EXPECT_EQ(keyUsage("left_arrow"), 80);
}

TEST(KeyNames, FunctionKeys) {
  EXPECT_EQ(keyUsage("f1"), 58);
  EXPECT_EQ(keyUsage("F12"), 69);
  EXPECT_EQ(keyUsage("f13"), 104);
  EXPECT_EQ(keyUsage("f24"), 115);
  EXPECT_FALSE(keyUsage("f0"));
  EXPECT_FALSE(keyUsage("f25"));
}

TEST(KeyNames, ModifiersMediaAndButtons) {
  EXPECT_EQ(modifierBit("ctrl"), modifier::leftCtrl);
  EXPECT_EQ(modifierBit("cmd"), modifier::leftGui);
  EXPECT_EQ(modifierBit("right-shift"), modifier::rightShift);
  EXPECT_FALSE(modifierBit("a"));
  EXPECT_EQ(mediaUsage("volume-up"), 0xE9);
  EXPECT_EQ(mediaUsage("play-pause"), 0xCD);
  EXPECT_FALSE(mediaUsage("eject"));
  EXPECT_EQ(buttonBit("left"), 1);
  EXPECT_EQ(buttonBit("right"), 2);
  EXPECT_EQ(buttonBit("middle"), 4);
}

TEST(KeyNames, UsageNumbersNameKeysWithoutANameBothWays) {
  EXPECT_EQ(keyUsage(keyName(0x58)), 0x58);
  EXPECT_EQ(keyUsage("0x2a"), 42);
  EXPECT_FALSE(keyUsage("0x02"));
  EXPECT_FALSE(keyUsage("0xE0"));  // the modifiers have names
  EXPECT_FALSE(keyUsage("0x5"));
}

TEST(KeyNames, NamesOfUsagesForDisplay) {
  EXPECT_EQ(keyName(11), "h");
  EXPECT_EQ(keyName(30), "1");
  EXPECT_EQ(keyName(40), "return");
  EXPECT_EQ(keyName(62), "f5");
  EXPECT_EQ(keyName(200), "0xC8");
  EXPECT_EQ(modifierNames(0), "");
  EXPECT_EQ(modifierNames(modifier::leftCtrl | modifier::leftShift), "ctrl+shift");
  EXPECT_EQ(modifierNames(0x80), "right-gui");
  EXPECT_EQ(mediaName(0xE2), "mute");
  EXPECT_EQ(mediaName(0x30), "0x30");
}

TEST(Chords, ModifiersAndKeysTogether) {
  EXPECT_EQ(parseChord("ctrl+shift+a"), (Chord{modifier::leftCtrl | modifier::leftShift, {4}}));
  EXPECT_EQ(parseChord("cmd+tab"), (Chord{modifier::leftGui, {43}}));
  EXPECT_EQ(parseChord("shift"), (Chord{modifier::leftShift, {}}));
  EXPECT_EQ(parseChord("a+b"), (Chord{0, {4, 5}}));
}

TEST(Chords, MediaKeysJoinIn) {
  EXPECT_EQ(parseChord("volume-up"), (Chord{0, {}, {0xE9}}));
  EXPECT_EQ(parseChord("shift+mute"), (Chord{modifier::leftShift, {}, {0xE2}}));
}

TEST(Chords, UnknownOrEmptyPartsAreErrors) {
  EXPECT_THROW(parseChord("ctrl+banana"), UnknownKeyName);
  EXPECT_THROW(parseChord("ctrl+"), UnknownKeyName);
  EXPECT_THROW(parseChord(""), UnknownKeyName);
  try {
    parseChord("hyper+a");
  } catch (const UnknownKeyName& e) {
    EXPECT_EQ(e.name(), "hyper");
  }
}

}  // namespace
}  // namespace virelo::client
