#include "tools/virelo/client_commands.h"

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>

#include "virelo/client/active_layout.h"
#include "virelo/client/chord.h"
#include "virelo/client/key_names.h"
#include "virelo/client/keyboard_layout.h"
#include "virelo/client/type_text.h"

namespace virelo::tools {
namespace {

using client::Client;

constexpr int kMaxStep = 127;  // the largest movement one report carries per axis
constexpr int kDragStep = 10;  // drags move in small steps, as a hand would

void operandCount(const ToolArguments& args, std::size_t min, std::size_t max) {
  if (args.operands.size() < min || args.operands.size() > max) {
    throw UsageError(
        "\"" + args.command + "\" takes " +
        (min == max ? std::to_string(min) : std::to_string(min) + " to " + std::to_string(max)) +
        " argument(s); see virelo --help");
  }
}

int buttonOperand(const ToolArguments& args, std::size_t index) {
  if (args.operands.size() <= index) return client::button::primary;
  auto bit = client::buttonBit(args.operands[index]);
  if (!bit) throw UsageError("unknown button \"" + args.operands[index] + "\"");
  return *bit;
}

// Moves by (dx, dy) in steps of at most `step` counts per axis.
void moveInSteps(Client& client, int dx, int dy, int step) {
  while (dx != 0 || dy != 0) {
    int sx = std::clamp(dx, -step, step);
    int sy = std::clamp(dy, -step, step);
    client.move(sx, sy);
    dx -= sx;
    dy -= sy;
  }
}

void click(Client& client, int button) {
  client.pressButtons(button);
  client.releaseButtons(button);
}

// What one operand of "hold" holds.
struct Held {
  client::Chord chord;
  std::set<int> media;
  int buttons = 0;
};

void addHeld(Held& held, const std::string& name) {
  static constexpr std::string_view kButtonSuffix = "-button";
  if (name.ends_with(kButtonSuffix)) {
    auto bit = client::buttonBit(name.substr(0, name.size() - kButtonSuffix.size()));
    if (!bit) throw UsageError("unknown button \"" + name + "\"");
    held.buttons |= *bit;
    return;
  }
  if (auto usage = client::mediaUsage(name)) {
    held.media.insert(*usage);
    return;
  }
  client::Chord chord = client::parseChord(name);
  held.chord.modifiers |= chord.modifiers;
  held.chord.keys.insert(chord.keys.begin(), chord.keys.end());
}

// Holds until SIGINT, SIGTERM or SIGHUP, then releases; ends early when the service goes away.
int hold(Client& client, const client::Status&, const ToolArguments& args) {
  if (args.operands.empty()) throw UsageError("\"hold\" needs at least one key");
  Held held;
  for (const auto& name : args.operands) addHeld(held, name);
  if (held.chord.keys.size() > 32) throw UsageError("at most 32 keys can be held");

  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, sig);
  // From here on these signals wait for sigtimedwait below instead of ending the process.
  ::sigprocmask(SIG_BLOCK, &stops, nullptr);

  if (held.chord.modifiers != 0 || !held.chord.keys.empty()) {
    client.keyboard(held.chord.modifiers, held.chord.keys);
  }
  if (!held.media.empty()) client.consumer(held.media);
  if (held.buttons != 0) client.buttons(held.buttons);
  std::cerr << "virelo: holding; press Ctrl-C to release\n";

  for (;;) {
    timespec period{0, 250'000'000};
    int sig = ::sigtimedwait(&stops, nullptr, &period);
    if (sig > 0) break;
    if (sig < 0 && errno == EAGAIN) client.status();  // throws ConnectionLost when gone
  }
  client.reset();
  std::cerr << "virelo: released\n";
  return 0;
}

int pressChord(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 1, 1);
  client::Chord chord = client::parseChord(args.operands[0], *layoutOf(args));
  if (chord.modifiers != 0) client.pressModifiers(chord.modifiers);
  if (!chord.keys.empty()) {
    client.keyboard(chord.modifiers, chord.keys);
    client.keyboard(chord.modifiers, {});
  }
  if (chord.modifiers != 0) client.releaseModifiers(chord.modifiers);
  return 0;
}

int typeOperand(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 1, 1);
  client::TypePacing pacing{std::chrono::milliseconds(args.holdMs),
                            std::chrono::milliseconds(args.delayMs)};
  client::typeText(client, args.operands[0], *layoutOf(args), pacing);
  return 0;
}

int clickButton(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 0, 1);
  int button = buttonOperand(args, 0);
  click(client, button);
  if (args.command == "double-click") click(client, button);
  return 0;
}

int dragBy(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 2, 3);
  int dx = integerOperand(args.operands[0], "DX", -100000, 100000);
  int dy = integerOperand(args.operands[1], "DY", -100000, 100000);
  int button = buttonOperand(args, 2);
  client.pressButtons(button);
  moveInSteps(client, dx, dy, kDragStep);
  client.releaseButtons(button);
  return 0;
}

int moveBy(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 2, 2);
  int dx = integerOperand(args.operands[0], "DX", -100000, 100000);
  int dy = integerOperand(args.operands[1], "DY", -100000, 100000);
  moveInSteps(client, dx, dy, kMaxStep);
  return 0;
}

int scrollBy(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 1, 1);
  int steps = integerOperand(args.operands[0], "N", -10000, 10000);
  while (steps != 0) {
    int step = std::clamp(steps, -kMaxStep, kMaxStep);
    client.wheel(step);
    steps -= step;
  }
  return 0;
}

int pressMedia(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 1, 1);
  auto usage = client::mediaUsage(args.operands[0]);
  if (!usage) throw UsageError("unknown media key \"" + args.operands[0] + "\"");
  client.pressMedia(*usage);
  client.releaseMedia(*usage);
  return 0;
}

using ClientCommand = int (*)(Client&, const client::Status&, const ToolArguments&);

const std::map<std::string, ClientCommand>& clientCommands() {
  static const std::map<std::string, ClientCommand> kCommands = {
      {"chord", pressChord},         {"type", typeOperand}, {"click", clickButton},
      {"double-click", clickButton}, {"drag", dragBy},      {"move", moveBy},
      {"scroll", scrollBy},          {"media", pressMedia}, {"hold", hold}};
  return kCommands;
}

}  // namespace

std::shared_ptr<const client::KeyboardLayout> layoutOf(const ToolArguments& args) {
  if (!args.layout) return client::KeyboardLayout::named(client::LayoutName{});
  if (*args.layout == "active") return client::activeLayout(std::getenv);
  return client::KeyboardLayout::named(client::parseLayoutName(*args.layout));
}

bool isClientCommand(const std::string& command) {
  return clientCommands().count(command) != 0;
}

int runClientCommand(Client& client, const client::Status& status, const ToolArguments& args) {
  auto found = clientCommands().find(args.command);
  if (found == clientCommands().end()) {
    throw UsageError("unknown command \"" + args.command + "\"");
  }
  return found->second(client, status, args);
}

}  // namespace virelo::tools
