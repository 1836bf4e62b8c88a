// Running a checked virelo script through one connection. Keys and buttons that "keydown" and
// "buttondown" hold stay held from line to line, and are released when the script ends or fails.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "virelo/client/controls.h"
#include "virelo/client/layouts.h"
#include "virelo/client/script.h"
#include "virelo/client/session.h"
#include "virelo/client/x11.h"

namespace virelo::client {
namespace {

constexpr int kMaxStep = 127;  // the largest movement one report carries per axis

// Presses the chord on top of what is held, then lets go of what it added.
void pressChord(Client& client, const Chord& chord) {
  const InputState before = client.state();
  const auto added = static_cast<std::uint8_t>(chord.modifiers & ~before.modifiers);
  if (added != 0) client.pressModifiers(added);
  for (int usage : chord.media) {
    if (before.media.count(usage) == 0) client.pressMedia(usage);
  }
  for (int key : chord.keys) {
    if (before.keys.count(key) == 0) client.pressKey(key);
  }
  for (int key : chord.keys) {
    if (before.keys.count(key) == 0) client.releaseKey(key);
  }
  for (int usage : chord.media) {
    if (before.media.count(usage) == 0) client.releaseMedia(usage);
  }
  if (added != 0) client.releaseModifiers(added);
}

// Presses the keysym through a borrowed key with the modifiers that are not held already.
void pressKeysym(Client& client, KeysymChord chord) {
  chord.modifiers &= ~client.state().modifiers;
  pressKeysymBorrowing(client, chord, std::getenv);
}

// Refuses, before anything runs, the first line that needs a borrowed key where the client's
// backend and the service's host lend none, as the command line's "key" does.
void checkBorrowing(Client& client, const std::vector<ScriptAction>& actions) {
  std::optional<bool> lends;
  for (const ScriptAction& a : actions) {
    if (std::none_of(a.keysyms.begin(), a.keysyms.end(), [](const auto& k) { return k; })) {
      continue;
    }
    if (!lends) {
      lends =
          borrowingDisplay(std::getenv, client.backend(), serviceHost({}, std::getenv)).has_value();
    }
    if (!*lends) {
      throw ScriptError(a.line,
                        "no key of the layout gives its keysym, and no key can be borrowed for it "
                        "here (a key is borrowed only on an X server whose keymap the service's "
                        "backend types with)");
    }
  }
}

void holdChord(Client& client, const Chord& chord, bool down) {
  if (down) {
    if (chord.modifiers != 0) client.pressModifiers(chord.modifiers);
    for (int usage : chord.media) client.pressMedia(usage);
    for (int key : chord.keys) client.pressKey(key);
  } else {
    for (int key : chord.keys) client.releaseKey(key);
    for (int usage : chord.media) client.releaseMedia(usage);
    if (chord.modifiers != 0) client.releaseModifiers(chord.modifiers);
  }
}

void moveInSteps(Client& client, int dx, int dy) {
  while (dx != 0 || dy != 0) {
    int sx = std::clamp(dx, -kMaxStep, kMaxStep);
    int sy = std::clamp(dy, -kMaxStep, kMaxStep);
    client.move(sx, sy);
    dx -= sx;
    dy -= sy;
  }
}

void turnWheel(Client& client, int steps) {
  while (steps != 0) {
    int step = std::clamp(steps, -kMaxStep, kMaxStep);
    client.wheel(step);
    steps -= step;
  }
}

// What running lines keep from one to the next: the typing pace, the desktop's controls (opened
// by the first line that needs them), and the check for an interrupt.
struct RunState {
  TypePacing pacing;
  std::optional<Desktop> desktop;
  const std::function<void()>& interrupted;
  // Set while `interrupted` runs: what it throws passes through as it is.
  bool interrupting = false;
  // What a keydown holds on a borrowed key, until its keyup or the script's end.
  std::unique_ptr<BorrowedKeyHold> borrowed;

  Desktop& controls() {
    if (!desktop) desktop.emplace(std::getenv);
    return *desktop;
  }
  void check() {
    if (!interrupted) return;
    interrupting = true;
    interrupted();
    interrupting = false;
  }
};

// A sleep that an interrupt ends.
void pause(std::chrono::milliseconds time, RunState& state) {
  const auto end = std::chrono::steady_clock::now() + time;
  for (auto now = std::chrono::steady_clock::now(); now < end;
       now = std::chrono::steady_clock::now()) {
    state.check();
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(20)));
  }
}

// Holds the keysym on a borrowed key with the modifiers that are not held already, or lets go of
// it; the parser saw to it that one is held at a time, and that a keyup may find none.
void holdKeysym(Client& client, KeysymChord chord, bool down, RunState& state) {
  if (!down) {
    if (!state.borrowed || state.borrowed->chord().keysym != chord.keysym) return;
    const std::unique_ptr<BorrowedKeyHold> hold = std::move(state.borrowed);
    hold->release();
    return;
  }
  chord.modifiers &= ~client.state().modifiers;
  state.borrowed = holdKeysymBorrowing(client, chord, std::getenv);
}

// A keydown or keyup line: its chord, or its keysym on a borrowed key.
void holdLine(Client& client, const ScriptAction& a, RunState& state) {
  const bool down = a.verb == ScriptVerb::keyDown;
  if (a.keysyms.front()) {
    holdKeysym(client, *a.keysyms.front(), down, state);
  } else {
    holdChord(client, a.chords.front(), down);
  }
}

void actOnControl(Client& client, const ScriptAction& a, RunState& state) {
  const ControlQuery query = controlQueryOf(a.control, !a.control.textOption);
  if (a.verb == ScriptVerb::waitFor) {
    const auto timeout =
        std::chrono::milliseconds(static_cast<long long>(a.control.timeoutS * 1000));
    waitFor(state.controls(), query, a.control.gone, timeout, std::chrono::milliseconds(100),
            [&state] { state.check(); });
    return;
  }
  clickOn(client, state.controls(), query, clickOptionsOf(a.control));
}

void runAction(Client& client, const ScriptAction& a, RunState& state) {
  TypePacing& pacing = state.pacing;
  switch (a.verb) {
    case ScriptVerb::type:
      typeTextBorrowing(client, a.text, *a.keyboardLayout, pacing, std::getenv);
      break;
    case ScriptVerb::key:
      for (std::size_t i = 0; i < a.chords.size(); ++i) {
        if (const auto& keysym = a.keysyms[i]) {
          pressKeysym(client, *keysym);
        } else {
          pressChord(client, a.chords[i]);
        }
      }
      break;
    case ScriptVerb::keyDown:
    case ScriptVerb::keyUp:
      holdLine(client, a, state);
      break;
    case ScriptVerb::click:
      client.pressButtons(a.button);
      client.releaseButtons(a.button);
      break;
    case ScriptVerb::buttonDown:
      client.pressButtons(a.button);
      break;
    case ScriptVerb::buttonUp:
      client.releaseButtons(a.button);
      break;
    case ScriptVerb::moveRelative:
      moveInSteps(client, a.dx, a.dy);
      break;
    case ScriptVerb::moveAbsolute:
      moveToOnScreen(client, std::getenv, {a.dx, a.dy});
      break;
    case ScriptVerb::wheel:
      turnWheel(client, a.amount);
      break;
    case ScriptVerb::media:
      client.pressMedia(a.amount);
      client.releaseMedia(a.amount);
      break;
    case ScriptVerb::sleep:
      pause(a.time, state);
      break;
    case ScriptVerb::typeDelay:
      pacing.delay = a.time;
      break;
    case ScriptVerb::typeHold:
      pacing.hold = a.time;
      break;
    case ScriptVerb::layout:
      break;  // the parser gave the following lines their layout
    case ScriptVerb::clickOn:
    case ScriptVerb::waitFor:
      actOnControl(client, a, state);
      break;
  }
}

}  // namespace

void runScript(Client& client, const std::vector<ScriptAction>& actions,
               const std::function<void()>& interrupted) {
  checkBorrowing(client, actions);
  RunState state{{}, std::nullopt, interrupted, false, nullptr};
  for (const ScriptAction& action : actions) {
    try {
      state.check();
      runAction(client, action, state);
    } catch (const std::exception& e) {
      state.borrowed.reset();  // lets go of its key and gives it back, as far as it can
      if (client.connected()) client.reset();
      if (state.interrupting) throw;
      throw ScriptError(action.line, e.what());
    }
  }
  if (state.borrowed) state.borrowed->release();
  if (!client.state().empty()) client.reset();
}

}  // namespace virelo::client
