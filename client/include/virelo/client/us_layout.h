// The US keyboard layout: which key, with or without shift, types a character.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "virelo/client/keystroke.h"

namespace virelo::client {

// The keystroke that types the character, or nullopt when the US layout has none. Letters, digits,
// printable ASCII punctuation, space, '\n' (Return) and '\t' (Tab) are typable.
std::optional<Keystroke> usKeystroke(char32_t character);

// The keystrokes for a UTF-8 text, in order. Throws UntypableText for the first character the
// layout cannot type (including invalid UTF-8), before anything is returned.
std::vector<Keystroke> usKeystrokes(std::string_view text);

}  // namespace virelo::client
