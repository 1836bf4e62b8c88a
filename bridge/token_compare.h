// The comparison of a client's token with the service token.
#pragma once

#include <string_view>

namespace virelo {

// True when both are the same bytes (case-sensitive, same length). Takes time that depends only
// on the two lengths, never on where the first differing byte is, so that reply timing tells a
// guessing client nothing about which bytes it got right.
bool sameToken(std::string_view given, std::string_view expected);

}  // namespace virelo
