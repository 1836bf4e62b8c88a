#include <thread>

#include "backend_keys.h"
#include "utf8.h"
#include "virelo/client/client.h"
#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"

namespace virelo::client {
namespace {

constexpr std::uint8_t kShifts = modifier::leftShift | modifier::rightShift;

// The modifiers to press for a keystroke on top of those the client holds; any held shift key
// serves as shift.
std::uint8_t toPress(std::uint8_t wanted, std::uint8_t held) {
  if ((held & kShifts) != 0) wanted &= static_cast<std::uint8_t>(~modifier::leftShift);
  return static_cast<std::uint8_t>(wanted & ~held);
}

// Throws UntypableText naming each character whose keystrokes the backend would drop.
void checkBackend(const std::string& backend, std::string_view text, const KeyboardLayout& layout) {
  if (backend != "cgevent") return;
  std::vector<UntypableCharacter> dropped;
  std::size_t offset = 0;
  while (offset < text.size()) {
    const std::size_t start = offset;
    const char32_t c = decodeUtf8(text, offset);
    const std::vector<Keystroke>* strokes = layout.keystrokes(c);
    if (strokes == nullptr) continue;
    for (const Keystroke& stroke : *strokes) {
      if (!backendPosts("cgevent", stroke.usage)) {
        dropped.push_back({c, start});
        break;
      }
    }
  }
  if (!dropped.empty()) {
    throw UntypableText(std::move(dropped),
                        layout.description() + " through the \"cgevent\" backend");
  }
}

}  // namespace

void typeText(Client& client, std::string_view text, const KeyboardLayout& layout) {
  typeText(client, text, layout, TypePacing{});
}

void typeText(Client& client, std::string_view text, const KeyboardLayout& layout,
              TypePacing pacing) {
  // Checked as a whole first, so that an untypable character sends nothing at all.
  const std::vector<Keystroke> strokes = layout.keystrokes(text);
  checkBackend(client.backend(), text, layout);
  const InputState before = client.state();
  std::uint8_t pressed = 0;
  bool first = true;
  for (const Keystroke& stroke : strokes) {
    if (!first && pacing.delay.count() > 0) std::this_thread::sleep_for(pacing.delay);
    first = false;
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
    if (pacing.hold.count() > 0) std::this_thread::sleep_for(pacing.hold);
    client.releaseKey(stroke.usage);
  }
  if (pressed != 0) client.releaseModifiers(pressed);
}

void typeText(Client& client, std::string_view text) {
  typeText(client, text, KeyboardLayout::us());
}

}  // namespace virelo::client
