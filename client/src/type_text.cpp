#include "virelo/client/type_text.h"

#include "virelo/client/client.h"
#include "virelo/client/input_state.h"
#include "virelo/client/keyboard_layout.h"

namespace virelo::client {
namespace {

constexpr std::uint8_t kShifts = modifier::leftShift | modifier::rightShift;

// The modifiers to press for a keystroke on top of those the client holds; any held shift key
// serves as shift.
std::uint8_t toPress(std::uint8_t wanted, std::uint8_t held) {
  if ((held & kShifts) != 0) wanted &= static_cast<std::uint8_t>(~modifier::leftShift);
  return static_cast<std::uint8_t>(wanted & ~held);
}

}  // namespace

void typeText(Client& client, std::string_view text, const KeyboardLayout& layout) {
  // Checked as a whole first, so that an untypable character sends nothing at all.
  const std::vector<Keystroke> strokes = layout.keystrokes(text);
  const InputState before = client.state();
  std::uint8_t pressed = 0;
  for (const Keystroke& stroke : strokes) {
    const std::uint8_t wanted = toPress(stroke.modifiers, before.modifiers);
    if (const auto extra = static_cast<std::uint8_t>(pressed & ~wanted); extra != 0) {
      client.releaseModifiers(extra);
    }
    if (const auto missing = static_cast<std::uint8_t>(wanted & ~pressed); missing != 0) {
      client.pressModifiers(missing);
    }
    pressed = wanted;
    if (before.keys.count(stroke.usage) != 0) {
      // Held already: let it go first so that the press below is a new key-down.
      client.releaseKey(stroke.usage);
    }
    client.pressKey(stroke.usage);
    client.releaseKey(stroke.usage);
  }
  if (pressed != 0) client.releaseModifiers(pressed);
}

void typeText(Client& client, std::string_view text) {
  typeText(client, text, KeyboardLayout::us());
}

}  // namespace virelo::client
