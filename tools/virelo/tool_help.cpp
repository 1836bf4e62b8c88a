#include "tools/virelo/tool_help.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <vector>

#include "tools/virelo/tool_options.h"
#include "tools/virelo/verbs.h"

namespace virelo::tools {
namespace {

// The column where the help of an entry starts.
constexpr std::size_t kColumn = 24;

// The widest line of the help.
constexpr std::size_t kWidth = 98;

// The text's lines, each cut at blanks to fit `width`.
std::vector<std::string_view> wrapped(std::string_view text, std::size_t width) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = std::min(text.find('\n'), text.size());
    if (end > width) {
      const std::size_t blank = text.rfind(' ', width);
      if (blank != std::string_view::npos && blank > 0) end = blank;
    }
    lines.push_back(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

// "  HEAD   TEXT...", the text's lines indented to the column; a long head gets a line of its own.
void entry(std::ostream& out, const std::string& head, std::string_view text) {
  std::string line = "  " + head;
  if (line.size() + 2 > kColumn) {
    out << line << "\n";
    line.clear();
  }
  for (std::string_view part : wrapped(text, kWidth - kColumn)) {
    line.resize(kColumn, ' ');
    out << line << part << "\n";
    line.clear();
  }
}

std::string optionHead(const ToolOption& option) {
  std::string head;
  // Appended piece by piece: g++ 12 at -O3 reports a false overlap (-Wrestrict) in the inlined
  // concatenation of a literal and a temporary.
  if (!option.shortName.empty()) {
    head += option.shortName;
    head += ", ";
  }
  head += option.name;
  if (!option.value.empty()) {
    head += ' ';
    head += option.value;
  }
  return head;
}

void optionEntries(std::ostream& out, std::span<const std::string_view> names) {
  for (std::string_view name : names) {
    const ToolOption* option = findOption(name);
    if (option != nullptr) entry(out, optionHead(*option), option->help);
  }
}

// The names of the verbs that the predicate holds for: "chord, key, type".
std::string verbsWhere(bool (*holds)(const Verb&)) {
  std::string names;
  for (const Verb& verb : verbs()) {
    if (holds(verb)) names += (names.empty() ? "" : ", ") + std::string(verb.name);
  }
  return names;
}

// A heading after a blank line, ending in ":".
void heading(std::ostream& out, const std::string& text) {
  const std::string line = text + ":";
  out << "\n";
  for (std::string_view part : wrapped(line, kWidth)) out << part << "\n";
}

constexpr std::string_view kTrailer = R"(
Script lines (words split as a shell splits them; # begins a comment):
  type TEXT, key CHORD..., keydown CHORD, keyup CHORD, click [BUTTON], buttondown BUTTON,
  buttonup BUTTON, mousemove X Y, mousemove_relative DX DY, wheel N, media KEY, sleep MS,
  typedelay MS, typehold MS, layout LAYOUT, click-on CONTROL..., wait-for CONTROL...
  (with the options of those commands). BUTTON is left, middle, right or 1, 2, 3. What keydown
  and buttondown hold is released when the script ends, fails or is interrupted. A wrong line
  stops the script before anything is sent (exit 2); a line that fails stops it (exit 1); both
  name the line.

Connection: the service that $VIRELO_SOCKET and $VIRELO_TOKEN name when both are set, else the
session's ($XDG_RUNTIME_DIR/virelo/session.json). Run as root, the tool talks to the service as
the user that owns the socket.

Keyboard layout: without --layout, the X server's current layout when $DISPLAY answers, else
$VIRELO_LAYOUT, else "layout" in the configuration file, else the XKB_DEFAULT_* variables', else
us.

Key names: letters, digits, return, escape, backspace, tab, space, minus, equals, left-bracket,
right-bracket, backslash, semicolon, quote, grave, comma, period, slash, capslock, f1..f24,
insert, delete, home, end, pageup, pagedown, up, down, left, right; modifiers ctrl, shift,
alt/option, cmd/gui/super and right-ctrl, right-shift, right-alt, right-gui ("virelo list-keys"
lists those of a layout).

Exit status: 0 on success, 1 when the service, the session or the connection failed, 2 for a
wrong command line, an unknown key name or layout, or untypable text. "start" exits with the
service's exit status.
)";

}  // namespace

std::string overallHelp() {
  std::ostringstream out;
  out << "Usage: virelo [--help|--version] COMMAND [OPTIONS] [ARGUMENTS]\n\n"
         "Drives the Virelo service of your session from the command line, or runs the "
         "session.\n\"virelo help COMMAND\" shows a command's options.\n";
  std::string_view section;
  for (const Verb& verb : verbs()) {
    if (verb.section != section) {
      section = verb.section;
      out << "\n" << section << ":\n";
    }
    std::string head(verb.name);
    if (!verb.synopsis.empty()) {
      head += ' ';
      head += verb.synopsis;
    }
    entry(out, head, verb.summary);
  }
  heading(out, "Connection options, of " +
                   verbsWhere([](const Verb& v) { return v.connection != Connection::none; }));
  optionEntries(out, connectionOptions());
  heading(out, "Layout options, of " + verbsWhere([](const Verb& v) { return v.layout; }));
  optionEntries(out, layoutOptions());
  out << "\n";
  optionEntries(out, globalOptions());
  out << kTrailer;
  return out.str();
}

std::string verbHelp(const Verb& verb) {
  std::ostringstream out;
  out << "Usage: " << synopsisOf(verb) << "\n\n" << verb.summary << "\n";
  const auto options = optionsOf(verb);
  if (!options.empty()) {
    out << "\nOptions:\n";
    optionEntries(out, options);
  }
  out << "\n(virelo --help describes every command, the connection and the key names)\n";
  return out.str();
}

int runHelp(const ToolArguments& args) {
  if (args.operands.size() > 1) throw UsageError("\"help\" takes at most one command");
  if (args.operands.empty()) {
    std::cout << overallHelp();
    return 0;
  }
  const Verb* verb = findVerb(args.operands[0]);
  if (verb == nullptr) throw UsageError("unknown command \"" + args.operands[0] + "\"");
  std::cout << verbHelp(*verb);
  return 0;
}

}  // namespace virelo::tools
