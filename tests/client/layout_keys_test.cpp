// Key names and chords in a keyboard layout, and the US names of the core library checked against
// the XKB "us" layout they stand for.
#include <gtest/gtest.h>

#include <string>

#include "virelo/client/client.h"
#include "virelo/client/errors.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"

namespace virelo::client {
namespace {

std::string utf8(char32_t c) {
  std::string text;
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    text += static_cast<char>(0xE0 | (c >> 12));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (c >> 18));
    text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
  return text;
}

TEST(Chords, OneCharacterNamesAreKeysOfTheLayout) {
  auto de = KeyboardLayout::named(parseLayoutName("de"));
  EXPECT_EQ(parseChord("ctrl+ü", *de), (Chord{modifier::leftCtrl, {0x2F}}));
  EXPECT_EQ(parseChord("ctrl+Z", *de), (Chord{modifier::leftCtrl, {0x1C}}));
  EXPECT_THROW(parseChord("ctrl+ü"), UnknownKeyName);  // no such key on the US layout
}

TEST(Chords, KeysymNamesAreTheKeysThatGiveThem) {
  const KeyboardLayout& us = KeyboardLayout::us();
  EXPECT_EQ(parseChord("Page_Up", us), (Chord{0, {0x4B}}));
  EXPECT_EQ(parseChord("ctrl+alt+Delete", us),
            (Chord{modifier::leftCtrl | modifier::leftAlt, {0x4C}}));
  EXPECT_EQ(parseChord("KP_Enter", us), (Chord{0, {0x58}}));
  EXPECT_EQ(parseChord("super+Up", us), (Chord{modifier::leftGui, {0x52}}));
  EXPECT_EQ(parseChord("exclam", us), (Chord{modifier::leftShift, {0x1E}}));  // shift+1
  EXPECT_EQ(parseChord("shift+XF86AudioRaiseVolume", us), (Chord{modifier::leftShift, {}, {0xE9}}));
  auto de = KeyboardLayout::named(parseLayoutName("de"));
  EXPECT_EQ(parseChord("ctrl+udiaeresis", *de), (Chord{modifier::leftCtrl, {0x2F}}));
  EXPECT_THROW(parseChord("udiaeresis", us), UnknownKeyName);  // no such key on the US layout
}

TEST(KeyNames, TheCoreUsNamesAreThoseOfTheXkbUsLayout) {
  const KeyboardLayout& us = KeyboardLayout::us();
  for (char32_t c = 0; c < 0x110000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // no characters
    const std::string name = utf8(c);
    ASSERT_EQ(keyUsage(name), keyUsage(name, us)) << "U+" << std::hex << static_cast<int>(c);
  }
  for (const char* name : {"", "return", "F5", "left-arrow", "ctrl", "\xFF", "ab"}) {
    EXPECT_EQ(keyUsage(name), keyUsage(name, us)) << name;
  }
  EXPECT_EQ(parseChord("ctrl+shift+/"), parseChord("ctrl+shift+/", us));
}

}  // namespace
}  // namespace virelo::client
