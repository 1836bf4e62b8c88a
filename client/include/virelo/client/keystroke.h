// One key of a typed text: a keyboard usage and whether shift is held with it.
#pragma once

namespace virelo::client {

struct Keystroke {
  int usage = 0;
  bool shift = false;

  bool operator==(const Keystroke&) const = default;
};

}  // namespace virelo::client
