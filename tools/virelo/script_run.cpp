#include "tools/virelo/script_run.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <system_error>
#include <thread>

#include "tools/virelo/client_commands.h"
#include "tools/virelo/connection.h"
#include "tools/virelo/controls_commands.h"
#include "tools/virelo/descriptor_input.h"
#include "tools/virelo/pointing_commands.h"
#include "virelo/client/layouts.h"

namespace virelo::tools {
namespace {

using client::Client;

constexpr int kMaxStep = 127;  // the largest movement one report carries per axis

// Presses the chord on top of what is held, then lets go of what it added.
void pressChord(Client& client, const client::Chord& chord) {
  const client::InputState before = client.state();
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

void holdChord(Client& client, const client::Chord& chord, bool down) {
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

// What running lines keep from one to the next: the typing pace, and the desktop's controls,
// opened by the first line that needs them.
struct RunState {
  client::TypePacing pacing;
  std::optional<client::Desktop> desktop;

  client::Desktop& controls() {
    if (!desktop) desktop.emplace(processDesktop());
    return *desktop;
  }
};

void actOnControl(Client& client, const ScriptAction& a, RunState& state) {
  const client::ControlQuery query = controlQuery(a.control, true);
  if (a.verb == ScriptVerb::waitFor) {
    const auto timeout =
        std::chrono::milliseconds(static_cast<long long>(a.control.timeoutS * 1000));
    client::waitFor(state.controls(), query, a.control.gone, timeout);
    return;
  }
  client::ClickOptions options;
  options.button = a.control.button;
  options.twice = a.control.twice;
  options.first = a.control.first;
  client::clickOn(client, state.controls(), query, options);
}

void runAction(Client& client, const ScriptAction& a, RunState& state) {
  client::TypePacing& pacing = state.pacing;
  switch (a.verb) {
    case ScriptVerb::type:
      typeAnyText(client, a.text, *a.keyboardLayout, pacing);
      break;
    case ScriptVerb::key:
      for (const auto& chord : a.chords) pressChord(client, chord);
      break;
    case ScriptVerb::keyDown:
    case ScriptVerb::keyUp:
      holdChord(client, a.chords.front(), a.verb == ScriptVerb::keyDown);
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
      placePointerAt(client, {a.dx, a.dy});
      break;
    case ScriptVerb::wheel:
      turnWheel(client, a.amount);
      break;
    case ScriptVerb::media:
      client.pressMedia(a.amount);
      client.releaseMedia(a.amount);
      break;
    case ScriptVerb::sleep:
      std::this_thread::sleep_for(a.time);
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

std::vector<ScriptAction> readScript(const ToolArguments& args) {
  if (args.operands.size() > 1) throw UsageError("\"run\" takes one script (a file, or -)");
  const std::string path = args.operands.empty() ? "-" : args.operands[0];
  auto layout = layoutOf(args);
  std::optional<DescriptorInput> input;
  try {
    if (path == "-") {
      input.emplace(STDIN_FILENO);
    } else {
      input.emplace(path);
    }
  } catch (const std::system_error& e) {
    throw UsageError("cannot read the script " + path + ": " + e.code().message());
  }
  std::istream in(&*input);
  return parseScript(in, layout);
}

}  // namespace

void runScript(Client& client, const std::vector<ScriptAction>& actions) {
  RunState state;
  for (const ScriptAction& action : actions) {
    try {
      runAction(client, action, state);
    } catch (const std::exception& e) {
      ScriptError failure(action.line, e.what());
      if (client.connected()) client.reset();
      throw failure;
    }
  }
  if (!client.state().empty()) client.reset();
}

int runScriptCommand(const ToolArguments& args) {
  std::vector<ScriptAction> actions;
  try {
    actions = readScript(args);
  } catch (const ScriptError& e) {
    std::cerr << "virelo: " << e.what() << "\n";
    return 2;
  }
  if (args.check) return 0;
  auto client = connectReady(args).client;
  try {
    runScript(*client, actions);
  } catch (const ScriptError& e) {
    std::cerr << "virelo: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace virelo::tools
