// Reading and checking a virelo script, line by line, before anything of it runs.
#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <streambuf>

#include "virelo/client/client.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"
#include "virelo/client/script.h"
#include "virelo/client/x11.h"

namespace virelo::client {
namespace {

// No line of a script is longer; a longer one (an endless one from /dev/zero) is refused rather
// than read on until memory runs out.
constexpr std::size_t kLongestLine = 65'536;
constexpr int kLongestSleepMs = 3'600'000;
constexpr int kLongestPaceMs = 10'000;
constexpr int kFarthestMove = 100'000;
constexpr int kMostWheelSteps = 10'000;

using Words = std::vector<std::string>;

// An integer operand in [min, max].
int integerOperand(const std::string& text, const char* what, int min, int max) {
  int value = 0;
  const char* begin = text.data();
  if (!text.empty() && text[0] == '+') ++begin;
  auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || begin == end || value < min ||
      value > max) {
    throw std::invalid_argument(std::string(what) + " must be a whole number from " +
                                std::to_string(min) + " to " + std::to_string(max) + ", not \"" +
                                text + "\"");
  }
  return value;
}

// The service takes at most this many keys, and as many media keys, held at once.
constexpr std::size_t kMostHeld = 32;

// What the parser keeps from line to line: the layout, and what keydown holds until keyup.
struct ParseState {
  std::shared_ptr<const client::KeyboardLayout> layout;
  std::set<int> keys;
  std::set<int> media;
  // The keysym that keydown holds on a borrowed key: a process borrows one key at a time.
  std::optional<std::uint32_t> borrowed;
};

void wordCount(const Words& words, std::size_t min, std::size_t max) {
  const std::size_t operands = words.size() - 1;
  if (operands >= min && operands <= max) return;
  std::string count = min == max ? std::to_string(min)
                                 : std::to_string(min) + " to " +
                                       (max == SIZE_MAX ? std::string("any") : std::to_string(max));
  throw std::invalid_argument("\"" + words[0] + "\" takes " + count + " argument(s), not " +
                              std::to_string(operands) +
                              (words[0] == "type" ? " (quote a text with blanks)" : ""));
}

int buttonNamed(const std::string& name) {
  if (auto bit = client::buttonBit(name)) return *bit;
  throw std::invalid_argument("unknown button \"" + name + "\" (left, middle, right or 1, 2, 3)");
}

void parseText(const Words& w, ParseState& state, ScriptAction& a) {
  wordCount(w, 1, 1);
  a.text = w[1];
  try {
    state.layout->keystrokes(a.text);
  } catch (const client::UntypableText&) {
    // What the layout lacks may be typed with a borrowed key of the X server, if one answers;
    // whether the service's backend lets it is seen when the line runs.
    if (!client::borrowingCovers(a.text, *state.layout,
                                 client::borrowingDisplay(std::getenv, "cgevent"))) {
      throw;
    }
  }
}

// A chord of a "key", "keydown" or "keyup" line that no key of the layout gives: its keysym,
// pressed or held through a borrowed key, which a display must be there for; whether the service's
// backend and host lend one is seen when the script runs.
std::optional<KeysymChord> keysymOf(const std::string& text, const KeyboardLayout& layout) {
  auto keysym = client::keysymChord(text, layout);
  if (keysym && !client::borrowingDisplay(std::getenv, "cgevent")) {
    throw std::invalid_argument("no key of the layout gives " + text +
                                ", and a key can be borrowed for it only on an X server");
  }
  return keysym;
}

// A keydown or keyup of a keysym that needs a borrowed key: a process holds one such key at a
// time, and a keyup of a keysym that is not held lets go of nothing, as for any key.
void holdBorrowed(ScriptVerb verb, const std::string& word, const KeysymChord& chord,
                  ParseState& state) {
  if (verb == ScriptVerb::keyUp) {
    if (state.borrowed == chord.keysym) state.borrowed.reset();
    return;
  }
  if (state.borrowed) {
    throw std::invalid_argument("\"" + word +
                                "\" needs a borrowed key while an earlier keydown holds one; one "
                                "borrowed key is held at a time (keyup the other first)");
  }
  state.borrowed = chord.keysym;
}

void parseKeys(const Words& w, ParseState& state, ScriptAction& a) {
  if (a.verb == ScriptVerb::key) {
    wordCount(w, 1, SIZE_MAX);
  } else {
    wordCount(w, 1, 1);
  }
  for (std::size_t i = 1; i < w.size(); ++i) {
    a.keysyms.push_back(keysymOf(w[i], *state.layout));
    if (a.keysyms.back()) {
      a.chords.emplace_back();
      continue;
    }
    a.chords.push_back(client::parseChord(w[i], *state.layout));
  }
  if (a.verb != ScriptVerb::key && a.keysyms.front()) {
    holdBorrowed(a.verb, w[1], *a.keysyms.front(), state);
  }
  // Each chord is pressed on top of what earlier lines hold.
  for (const client::Chord& chord : a.chords) {
    if (a.verb == ScriptVerb::keyUp) {
      for (int key : chord.keys) state.keys.erase(key);
      for (int usage : chord.media) state.media.erase(usage);
      continue;
    }
    std::set<int> keys = state.keys;
    std::set<int> media = state.media;
    keys.insert(chord.keys.begin(), chord.keys.end());
    media.insert(chord.media.begin(), chord.media.end());
    if (keys.size() > kMostHeld || media.size() > kMostHeld) {
      throw std::invalid_argument("this would hold " + std::to_string(keys.size()) + " keys and " +
                                  std::to_string(media.size()) + " media keys at once; at most " +
                                  std::to_string(kMostHeld) + " of each can be held");
    }
    if (a.verb == ScriptVerb::keyDown) {
      state.keys = std::move(keys);
      state.media = std::move(media);
    }
  }
}

void parseButton(const Words& w, ParseState&, ScriptAction& a) {
  if (a.verb == ScriptVerb::click) {
    wordCount(w, 0, 1);
  } else {
    wordCount(w, 1, 1);
  }
  a.button = w.size() > 1 ? buttonNamed(w[1]) : client::button::primary;
}

void parseMove(const Words& w, ParseState&, ScriptAction& a) {
  wordCount(w, 2, 2);
  a.dx = integerOperand(w[1], "DX", -kFarthestMove, kFarthestMove);
  a.dy = integerOperand(w[2], "DY", -kFarthestMove, kFarthestMove);
}

void parsePosition(const Words& w, ParseState&, ScriptAction& a) {
  wordCount(w, 2, 2);
  a.dx = integerOperand(w[1], "X", 0, kFarthestMove);
  a.dy = integerOperand(w[2], "Y", 0, kFarthestMove);
}

void parseWheel(const Words& w, ParseState&, ScriptAction& a) {
  wordCount(w, 1, 1);
  a.amount = integerOperand(w[1], "N", -kMostWheelSteps, kMostWheelSteps);
}

void parseMedia(const Words& w, ParseState&, ScriptAction& a) {
  wordCount(w, 1, 1);
  auto usage = client::mediaUsage(w[1]);
  if (!usage) throw std::invalid_argument("unknown media key \"" + w[1] + "\"");
  a.amount = *usage;
}

void parseTime(const Words& w, ParseState&, ScriptAction& a) {
  wordCount(w, 1, 1);
  const int longest = a.verb == ScriptVerb::sleep ? kLongestSleepMs : kLongestPaceMs;
  a.time = std::chrono::milliseconds(integerOperand(w[1], "MS", 0, longest));
}

void parseLayout(const Words& w, ParseState& state, ScriptAction&) {
  wordCount(w, 1, 1);
  state.layout = client::KeyboardLayout::named(client::parseLayoutName(w[1]));
}

// click-on and wait-for take the options of the commands of the same names.
void parseControl(const Words& w, ParseState&, ScriptAction& a) {
  for (std::size_t i = 1; i < w.size(); ++i) {
    const std::string& option = w[i];
    auto value = [&]() -> std::string {
      if (takesOptionalValue(option) && (i + 1 >= w.size() || w[i + 1].starts_with("--"))) {
        return "";
      }
      if (i + 1 >= w.size()) throw std::invalid_argument(option + " needs a value");
      return w[++i];
    };
    const bool waiting = a.verb == ScriptVerb::waitFor;
    const bool forOther = waiting
                              ? option == "--button" || option == "--double" ||
                                    option == "--first" || option == "--nth" || option == "--action"
                              : option == "--gone" || option == "--timeout" || option == "--text" ||
                                    option == "--text-regex";
    if (forOther || option == "--all" || option == "--list-roles" ||
        !takeControlWord(option, value, a.control)) {
      throw std::invalid_argument("\"" + w[0] + "\" does not take \"" + option + "\"");
    }
  }
  controlQueryOf(a.control, !a.control.textOption);
}

struct VerbRule {
  ScriptVerb verb;
  void (*parse)(const Words&, ParseState&, ScriptAction&);
};

const std::map<std::string, VerbRule>& verbRules() {
  static const std::map<std::string, VerbRule> kRules = {
      {"type", {ScriptVerb::type, parseText}},
      {"key", {ScriptVerb::key, parseKeys}},
      {"keydown", {ScriptVerb::keyDown, parseKeys}},
      {"keyup", {ScriptVerb::keyUp, parseKeys}},
      {"click", {ScriptVerb::click, parseButton}},
      {"buttondown", {ScriptVerb::buttonDown, parseButton}},
      {"buttonup", {ScriptVerb::buttonUp, parseButton}},
      {"mousemove", {ScriptVerb::moveAbsolute, parsePosition}},
      {"mousemove_relative", {ScriptVerb::moveRelative, parseMove}},
      {"wheel", {ScriptVerb::wheel, parseWheel}},
      {"media", {ScriptVerb::media, parseMedia}},
      {"sleep", {ScriptVerb::sleep, parseTime}},
      {"typedelay", {ScriptVerb::typeDelay, parseTime}},
      {"typehold", {ScriptVerb::typeHold, parseTime}},
      {"layout", {ScriptVerb::layout, parseLayout}},
      {"click-on", {ScriptVerb::clickOn, parseControl}},
      {"wait-for", {ScriptVerb::waitFor, parseControl}},
  };
  return kRules;
}

ScriptAction parseLine(const Words& words, int number, ParseState& state) {
  auto rule = verbRules().find(words[0]);
  if (rule == verbRules().end()) {
    throw std::invalid_argument("unknown verb \"" + words[0] + "\"");
  }
  ScriptAction action;
  action.line = number;
  action.verb = rule->second.verb;
  rule->second.parse(words, state, action);
  action.keyboardLayout = state.layout;
  return action;
}

// Reads the next line, without its '\n', into `line`; false at the end of the input. Throws
// std::length_error for a line longer than kLongestLine bytes, and what the buffer throws for a
// failed read.
bool readLine(std::streambuf& in, std::string& line) {
  line.clear();
  using Traits = std::streambuf::traits_type;
  for (Traits::int_type c = in.sbumpc(); c != Traits::eof(); c = in.sbumpc()) {
    if (c == '\n') return true;
    if (line.size() == kLongestLine) {
      throw std::length_error("longer than " + std::to_string(kLongestLine) + " bytes");
    }
    line += Traits::to_char_type(c);
  }
  return !line.empty();
}

}  // namespace

ScriptError::ScriptError(int line, const std::string& message)
    : Error("line " + std::to_string(line) + ": " + message), line_(line) {}

std::vector<ScriptAction> parseScript(std::istream& in,
                                      std::shared_ptr<const client::KeyboardLayout> layout) {
  ParseState state;
  state.layout = std::move(layout);
  std::vector<ScriptAction> actions;
  std::string line;
  std::streambuf* buffer = in.rdbuf();
  for (int number = 1;; ++number) {
    try {
      if (buffer == nullptr || !readLine(*buffer, line)) break;
    } catch (const std::length_error& e) {
      throw ScriptError(number, e.what());
    } catch (const std::exception& e) {
      throw ScriptError(number, std::string("cannot be read: ") + e.what());
    }
    try {
      Words words = scriptWords(line);
      if (!words.empty()) actions.push_back(parseLine(words, number, state));
    } catch (const std::exception& e) {
      // Syntax, arguments, key names, layouts and untypable text alike.
      throw ScriptError(number, e.what());
    }
  }
  return actions;
}

std::vector<ScriptAction> parseScript(std::string_view text,
                                      std::shared_ptr<const KeyboardLayout> layout) {
  std::istringstream in{std::string(text)};
  return parseScript(in, std::move(layout));
}

}  // namespace virelo::client
