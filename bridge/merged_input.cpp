#include "bridge/merged_input.h"

namespace virelo {

MergedInput mergeInput(const std::map<int, Owner>& owners) {
  MergedInput m;
  std::int64_t modifiers = 0;
  std::int64_t buttons = 0;
  for (const auto& [fd, owner] : owners) {
    modifiers |= owner.modifiers;
    buttons |= owner.buttons;
    m.fn = m.fn || owner.fn;
    m.keys |= owner.keys;
    m.consumers |= owner.consumers;
  }
  m.modifiers = static_cast<std::uint8_t>(modifiers);
  m.buttons = static_cast<std::uint8_t>(buttons);
  return m;
}

}  // namespace virelo
