#include "virelo/client/type_text.h"

#include "virelo/client/client.h"
#include "virelo/client/input_state.h"
#include "virelo/client/us_layout.h"

namespace virelo::client {

void typeText(Client& client, std::string_view text) {
  // Checked as a whole first, so that an untypable character sends nothing at all.
  const std::vector<Keystroke> strokes = usKeystrokes(text);
  const InputState before = client.state();
  const bool shiftHeld = (before.modifiers & (modifier::leftShift | modifier::rightShift)) != 0;
  bool shiftPressed = false;
  for (const Keystroke& stroke : strokes) {
    bool wantShift = stroke.shift && !shiftHeld;
    if (wantShift != shiftPressed) {
      if (wantShift) {
        client.pressModifiers(modifier::leftShift);
      } else {
        client.releaseModifiers(modifier::leftShift);
      }
      shiftPressed = wantShift;
    }
    if (before.keys.count(stroke.usage) != 0) {
      // Held already: let it go first so that the press below is a new key-down.
      client.releaseKey(stroke.usage);
    }
    client.pressKey(stroke.usage);
    client.releaseKey(stroke.usage);
  }
  if (shiftPressed) client.releaseModifiers(modifier::leftShift);
}

}  // namespace virelo::client
