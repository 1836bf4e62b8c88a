#include "tools/virelo/client_commands.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <future>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "tools/virelo/connection.h"
#include "tools/virelo/controls_commands.h"
#include "tools/virelo/layout_choice.h"
#include "virelo/client/errors.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"
#include "virelo/client/x11.h"

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
        " argument(s)");
  }
}

int buttonOperand(const ToolArguments& args, std::size_t index) {
  if (args.operands.size() <= index) return client::button::primary;
  auto bit = client::buttonBit(args.operands[index]);
  if (!bit) throw UsageError("unknown button \"" + args.operands[index] + "\"");
  return *bit;
}

// Moves by (dx, dy) in steps of at most `step` counts per axis; with `snap` the service may snap
// each step onto a nearby control.
void moveInSteps(Client& client, int dx, int dy, int step, bool snap = false) {
  while (dx != 0 || dy != 0) {
    int sx = std::clamp(dx, -step, step);
    int sy = std::clamp(dy, -step, step);
    client.move(sx, sy, snap);
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
  held.media.insert(chord.media.begin(), chord.media.end());
}

// How much of `text` ends with a whole UTF-8 character: all but an unfinished sequence at its
// end.
std::size_t wholeCharacters(std::string_view text) {
  std::size_t start = text.size();
  for (int back = 0; back < 4 && start > 0; ++back) {
    auto byte = static_cast<unsigned char>(text[--start]);
    if ((byte & 0xC0) != 0x80) {  // the first byte of the last sequence
      std::size_t length = byte < 0x80    ? 1
                           : byte >= 0xF0 ? 4
                           : byte >= 0xE0 ? 3
                           : byte >= 0xC0 ? 2
                                          : 1;
      return start + length <= text.size() ? text.size() : start;
    }
  }
  return text.size();  // not UTF-8 at all: typeText names the bytes
}

// Types a file (or standard input for "-") as it arrives, a block at a time, so that a long text
// starts at once and is never held whole. Each block is checked before it is typed; a character
// the layout cannot type stops the text there.
void typeStream(Client& client, const std::string& path, const client::KeyboardLayout& layout,
                client::TypePacing pacing) {
  int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw UsageError("cannot read " + path + ": " + std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() {
      if (fd != STDIN_FILENO) ::close(fd);
    }
  } closer{fd};
  std::string pending;
  std::size_t typed = 0;
  char block[4096];
  for (;;) {
    // What has arrived so far, not a full block: a pipe's text is typed as it comes.
    ssize_t n = ::read(fd, block, sizeof(block));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    pending.append(block, static_cast<std::size_t>(n));
    std::size_t cut = n > 0 ? wholeCharacters(pending) : pending.size();
    try {
      typeAnyText(client, std::string_view(pending).substr(0, cut), layout, pacing);
    } catch (const client::UntypableText& e) {
      auto characters = e.characters();
      for (auto& c : characters) c.offset += typed;
      throw std::runtime_error("typed the first " + std::to_string(typed) + " bytes, then " +
                               client::UntypableText(characters, layout.description()).what());
    }
    typed += cut;
    pending.erase(0, cut);
    if (n == 0) return;
  }
}

// Types the text; with --via-clipboard, one that cannot be typed (which sent nothing) is pasted.
void typeOrPaste(Client& client, const std::string& text, const client::KeyboardLayout& layout,
                 client::TypePacing pacing, const ToolArguments& args) {
  const std::string host = serviceHostOf(args);
  try {
    typeAnyText(client, text, layout, pacing, host);
  } catch (const client::UntypableText& e) {
    if (!args.viaClipboard) throw;
    std::cerr << "virelo: " << e.what()
              << ": pasting the text through the clipboard instead, which replaces what the "
                 "clipboard held\n";
    client::pasteText(client, text, layout, std::getenv);
  }
}

}  // namespace

// Holds until SIGINT, SIGTERM or SIGHUP, then releases; ends early when the service goes away.
int runHold(Client& client, const client::Status&, const ToolArguments& args) {
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

// A chord of the command line: keys of the layout, or modifiers and a keysym that no key of the
// layout gives ("Hyper_L", "ctrl+XF86Calculator"), pressed through a borrowed key.
struct KeyChord {
  client::Chord chord;
  std::optional<client::KeysymChord> keysym;
};

KeyChord keyChord(const std::string& text, const client::KeyboardLayout& layout) {
  if (auto keysym = client::keysymChord(text, layout)) return {{}, keysym};
  return {client::parseChord(text, layout), std::nullopt};
}

void pressChord(Client& client, const client::Chord& chord) {
  if (chord.modifiers != 0) client.pressModifiers(chord.modifiers);
  if (!chord.media.empty()) client.consumer(chord.media);
  if (!chord.keys.empty()) {
    client.keyboard(chord.modifiers, chord.keys);
    client.keyboard(chord.modifiers, {});
  }
  if (!chord.media.empty()) client.consumer({});
  if (chord.modifiers != 0) client.releaseModifiers(chord.modifiers);
}

// Presses and releases each chord in turn; a chord that needs a borrowed key where none can be
// borrowed is refused before anything is pressed.
int runChord(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 1, 64);
  auto layout = layoutOf(args);
  std::vector<KeyChord> chords;
  for (const auto& operand : args.operands) chords.push_back(keyChord(operand, *layout));
  const std::string host = serviceHostOf(args);
  const auto display = client::borrowingDisplay(std::getenv, client.backend(), host);
  for (std::size_t i = 0; i < chords.size(); ++i) {
    if (chords[i].keysym && !display) {
      throw UsageError("no key of the layout gives " + args.operands[i] +
                       ", and a key can be borrowed for it only on an X server");
    }
  }
  for (const auto& [chord, keysym] : chords) {
    if (keysym) {
      client::pressKeysymBorrowing(client, *keysym, std::getenv, host);
    } else {
      pressChord(client, chord);
    }
  }
  return 0;
}

int runType(Client& client, const client::Status&, const ToolArguments& args) {
  client::TypePacing pacing{std::chrono::milliseconds(args.holdMs),
                            std::chrono::milliseconds(args.delayMs)};
  if (args.into) focusInto(client, *args.into, args.controls);
  if (args.file) {
    operandCount(args, 0, 0);
    typeStream(client, *args.file, *layoutOf(args), pacing);
  } else {
    operandCount(args, 1, 1);
    typeOrPaste(client, args.operands[0], *layoutOf(args), pacing, args);
  }
  return 0;
}

// Clicks --repeat times (twice for double-click), --delay milliseconds apart.
int runClick(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 0, 1);
  int button = buttonOperand(args, 0);
  int count = args.command == "double-click" ? 2 * args.repeat : args.repeat;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && args.delayMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(args.delayMs));
    }
    click(client, button);
  }
  return 0;
}

int runDrag(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 2, 3);
  int dx = integerOperand(args.operands[0], "DX", -100000, 100000);
  int dy = integerOperand(args.operands[1], "DY", -100000, 100000);
  int button = buttonOperand(args, 2);
  client.pressButtons(button);
  moveInSteps(client, dx, dy, kDragStep);
  client.releaseButtons(button);
  return 0;
}

int runMove(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 2, 2);
  int dx = integerOperand(args.operands[0], "DX", -100000, 100000);
  int dy = integerOperand(args.operands[1], "DY", -100000, 100000);
  moveInSteps(client, dx, dy, kMaxStep, args.snap);
  return 0;
}

int runScroll(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 1, 1);
  int steps = integerOperand(args.operands[0], "N", -10000, 10000);
  while (steps != 0) {
    int step = std::clamp(steps, -kMaxStep, kMaxStep);
    client.wheel(step);
    steps -= step;
  }
  return 0;
}

int runMedia(Client& client, const client::Status&, const ToolArguments& args) {
  operandCount(args, 1, 1);
  auto usage = client::mediaUsage(args.operands[0]);
  if (!usage) throw UsageError("unknown media key \"" + args.operands[0] + "\"");
  client.pressMedia(*usage);
  client.releaseMedia(*usage);
  return 0;
}

void typeAnyText(Client& client, std::string_view text, const client::KeyboardLayout& layout,
                 client::TypePacing pacing, const std::optional<std::string>& host) {
  const std::string on = host ? *host : client::serviceHost({}, std::getenv);
  try {
    client::typeTextBorrowing(client, text, layout, pacing, std::getenv, on);
  } catch (const client::UntypableText& e) {
    if (on != "gnome" && on != "kde" && on != "wlroots") throw;
    throw client::UntypableText(e.characters(),
                                layout.description() + ", and on the " + on +
                                    " host no other key can be borrowed (`virelo type "
                                    "--via-clipboard` pastes the text instead)");
  }
}

namespace {

// The layout being chosen ahead, if prefetchLayout() started it.
std::future<LayoutChoice>& prefetched() {
  static std::future<LayoutChoice> choice;
  return choice;
}

}  // namespace

void prefetchLayout(const ToolArguments& args) {
  if (::geteuid() == 0) return;
  prefetched() = std::async(std::launch::async, [args] { return chooseLayout(args, std::getenv); });
}

std::shared_ptr<const client::KeyboardLayout> layoutOf(const ToolArguments& args) {
  LayoutChoice choice = prefetched().valid() ? prefetched().get() : chooseLayout(args, std::getenv);
  if (args.verbose) {
    std::cerr << "virelo: keyboard layout " << choice.layout->description() << " (from "
              << choice.source << ")\n";
  }
  return choice.layout;
}

}  // namespace virelo::tools
