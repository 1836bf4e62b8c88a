// The command line of the virelo tool: the global options, the verb (verbs.h), the options the
// verb takes and its operands.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/virelo/control_options.h"

namespace virelo::tools {

// A command line the tool cannot use; the tool prints the message and exits with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ToolArguments {
  bool help = false;
  bool version = false;
  // Machine-readable output, for "status" and "doctor".
  bool json = false;
  // -v: say on standard error what was chosen (the keyboard layout and where it came from).
  bool verbose = false;
  std::string command;
  std::vector<std::string> operands;
  // The verb's words after the global options were taken out, in order: its options with their
  // values and its operands, for a verb that reads them itself (steer).
  std::vector<std::string> verbWords;
  // Connection, for the client sub-commands: the user's session unless these or $VIRELO_SOCKET
  // and $VIRELO_TOKEN name another service.
  std::optional<std::string> socket;
  std::optional<std::string> tokenFile;
  // The keyboard layout of the input commands: "LAYOUT[(VARIANT)]" or "active"; when unset, the
  // one the user is typing with (layout_choice.h).
  std::optional<std::string> layout;
  // Pacing in milliseconds: for "type" the pause after each keystroke and how long each key is
  // held; for "click" the pause between clicks.
  int delayMs = 0;
  int holdMs = 0;
  // "type --file PATH": the text comes from the file ("-": standard input).
  std::optional<std::string> file;
  // "click --repeat N": how many clicks, --delay milliseconds apart.
  int repeat = 1;
  // "mousemove"/"mouseto --screen N": positions on RandR monitor N (from 0) instead of the screen.
  std::optional<int> screen;
  // "getmouselocation --shell": shell variable assignments.
  bool shell = false;
  // The commands on controls (find, click-on, focus-on, wait-for): which control and how.
  ControlOptions controls;
  // "search --class RE --pid N" (its --name is that of the controls).
  std::optional<std::string> windowClass;
  std::optional<int> windowPid;
  // "type --into NAME": the editable control to focus before typing.
  std::optional<std::string> into;
  // "type --via-clipboard": a text that cannot be typed is pasted through the clipboard.
  bool viaClipboard = false;
  // "move --snap": the service may snap the move onto a nearby control.
  bool snap = false;
  // "run --check": read and check the script without connecting.
  bool check = false;
  // "record": stop after this many seconds, write to this file ("-": standard output), and keep
  // the input that the service posts itself.
  std::optional<int> durationS;
  std::optional<std::string> output;
  bool includeOwn = false;
  // Service start, for "start" (backend default "corehid") and "session" (host and backend from
  // the configuration file, else "linux" and "auto").
  std::optional<std::string> host;
  std::optional<std::string> backend;
  std::optional<std::string> service;
  std::optional<std::string> user;
  std::map<std::string, std::string> environment;
  bool trace = false;
};

// Options may appear before or after the verb; "--" ends them. An option is a word that starts
// with "--", or -h or -v. Throws UsageError for an unknown verb or option, for an option the verb
// does not take (naming both), and for a bad value.
ToolArguments parseToolArguments(int argc, const char* const* argv);

// An integer operand in [min, max]; throws UsageError naming the operand.
int integerOperand(const std::string& text, const char* what, int min, int max);

}  // namespace virelo::tools
