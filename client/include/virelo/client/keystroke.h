// One key of a typed text: a keyboard usage and the modifiers held with it.
#pragma once

#include <cstdint>

namespace virelo::client {

struct Keystroke {
  int usage = 0;
  // Modifier bits (see input_state.h): left shift for the shift level, right alt for AltGr.
  std::uint8_t modifiers = 0;

  bool operator==(const Keystroke&) const = default;
};

}  // namespace virelo::client
