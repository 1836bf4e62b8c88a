// The client token handed over in "VL_COREHID_TOKEN".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace virelo {

// Exactly 64 characters, each a hexadecimal digit: ASCII 0-9, a-f, A-F or their fullwidth forms
// (U+FF10-U+FF19, U+FF21-U+FF26, U+FF41-U+FF46), as well-formed UTF-8. No such digit combines
// with another into one user-perceived character, so counting code points counts characters.
bool tokenWellFormed(std::string_view value);

// The token from the variable's value (nullptr when unset), unchanged, or nullopt when it is
// absent or malformed.
std::optional<std::string> readToken(const char* value);

}  // namespace virelo
