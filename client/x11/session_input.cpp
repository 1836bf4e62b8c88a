// Borrowed keys and absolute moves on the X server that the process's environment names, for the
// front ends that take their display from there.
#include <string>

#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"
#include "virelo/client/session.h"
#include "virelo/client/x11.h"

namespace virelo::client {

namespace {

// The display to borrow keys on for a service on the host, or on the session's.
std::optional<std::string> displayFor(Client& client, const EnvironmentLookup& environment,
                                      const std::optional<std::string>& host) {
  return borrowingDisplay(environment, client.backend(),
                          host ? *host : serviceHost({}, environment));
}

// The same for a keysym, which needs one.
std::string keyDisplayFor(Client& client, const EnvironmentLookup& environment,
                          const std::optional<std::string>& host) {
  const auto display = displayFor(client, environment, host);
  if (!display) {
    throw Error(
        "no X server to borrow a key on ($DISPLAY is not set, or the compositor's host "
        "types by its own keymap)");
  }
  return *display;
}

}  // namespace

void typeTextBorrowing(Client& client, std::string_view text, const KeyboardLayout& layout,
                       TypePacing pacing, const EnvironmentLookup& environment,
                       const std::optional<std::string>& host) {
  const auto display = displayFor(client, environment, host);
  const std::string record = display ? borrowedKeysRecord(environment, *display) : "";
  typeTextBorrowing(client, text, layout, display, pacing, record);
}

std::optional<KeysymChord> keysymChord(std::string_view text, const KeyboardLayout& layout) {
  try {
    parseChord(text, layout);
    return std::nullopt;
  } catch (const UnknownKeyName&) {
    const std::size_t plus = text.rfind('+');
    // "+" alone, or a chord ending in "+", names the plus key; parseChord() said what is wrong.
    if (plus != std::string_view::npos && plus + 1 == text.size()) throw;
    const std::string_view last = plus == std::string_view::npos ? text : text.substr(plus + 1);
    const auto keysym = keysymNamed(last);
    if (!keysym) throw;
    KeysymChord chord{0, *keysym};
    if (plus != std::string_view::npos) {
      const Chord modifiers = parseChord(text.substr(0, plus), layout);
      if (!modifiers.keys.empty() || !modifiers.media.empty()) throw;
      chord.modifiers = modifiers.modifiers;
    }
    return chord;
  }
}

std::unique_ptr<BorrowedKeyHold> holdKeysymBorrowing(Client& client, const KeysymChord& chord,
                                                     const EnvironmentLookup& environment,
                                                     const std::optional<std::string>& host) {
  const std::string display = keyDisplayFor(client, environment, host);
  return std::make_unique<BorrowedKeyHold>(client, chord, display,
                                           borrowedKeysRecord(environment, display));
}

void pressKeysymBorrowing(Client& client, const KeysymChord& chord,
                          const EnvironmentLookup& environment,
                          const std::optional<std::string>& host) {
  const std::string display = keyDisplayFor(client, environment, host);
  pressKeysymBorrowing(client, chord.keysym, chord.modifiers, display,
                       borrowedKeysRecord(environment, display));
}

PointerPosition moveToOnScreen(Client& client, const EnvironmentLookup& environment,
                               PointerPosition target) {
  const std::string display = pointerDisplay(environment, client.backend());
  auto whole = screenArea(display.c_str());
  if (!whole) throw PointerUnknown("no X server answers on \"" + display + "\"");
  if (!whole->contains(target)) {
    throw Error("(" + std::to_string(target.x) + ", " + std::to_string(target.y) +
                ") is off the screen (" + std::to_string(whole->width) + "x" +
                std::to_string(whole->height) + ")");
  }
  return moveTo(client, display.c_str(), target);
}

}  // namespace virelo::client
