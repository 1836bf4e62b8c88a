#include "tools/virelo/tool_options.h"

#include <algorithm>
#include <array>

#include "session/host_names.h"
#include "tools/virelo/control_options.h"

namespace virelo::tools {
namespace {

using Args = ToolArguments;
using Text = const std::string&;

void takeEnvironment(Args& a, Text, Text entry) {
  auto eq = entry.find('=');
  if (eq == std::string::npos || eq == 0) throw UsageError("--env needs NAME=VALUE");
  a.environment[entry.substr(0, eq)] = entry.substr(eq + 1);
}

void takeControl(Args& a, Text name, Text value) {
  takeControlOption(
      name, [&] { return value; }, a.controls);
}

// An option the verb reads from its own words: checked here, stored there.
void takeOwn(Args&, Text, Text) {}

// clang-format off
constexpr std::array kOptions = {
  ToolOption{"--help", "-h", "", "Show this help (after a command: the command's).",
             [](Args& a, Text, Text) { a.help = true; }},
  ToolOption{"--version", "", "", "Show the version and the protocol number.",
             [](Args& a, Text, Text) { a.version = true; }},
  ToolOption{"--socket", "", "PATH", "The service's socket (default: $VIRELO_SOCKET, else the "
             "session's).", [](Args& a, Text, Text v) { a.socket = v; }},
  ToolOption{"--token-file", "", "PATH", "A file holding the client token (default: "
             "$VIRELO_TOKEN, else the session's).", [](Args& a, Text, Text v) { a.tokenFile = v; }},
  ToolOption{"--layout", "", "LAYOUT", "An XKB layout[(variant)] such as de, fr(azerty), us(intl), "
             "or \"active\" (the X server's, else the XKB_DEFAULT_* variables').",
             [](Args& a, Text, Text v) { a.layout = v; }},
  ToolOption{"--verbose", "-v", "", "Say which keyboard layout was used and where it came from.",
             [](Args& a, Text, Text) { a.verbose = true; }},
  ToolOption{"--json", "", "", "Print JSON.", [](Args& a, Text, Text) { a.json = true; }},
  ToolOption{"--shell", "", "", "Print shell variable assignments (X=, Y=, SCREEN=).",
             [](Args& a, Text, Text) { a.shell = true; }},
  ToolOption{"--host", "", "NAME", "Where the input goes: " VIRELO_HOST_CHOICES
             " (default: the configuration file's, else linux).",
             [](Args& a, Text, Text v) { a.host = v; }},
  ToolOption{"--backend", "", "NAME", "corehid, cgevent or auto (session, doctor; default: the "
             "configuration file's, else auto); corehid (start's default) or cgevent.",
             [](Args& a, Text, Text v) { a.backend = v; }},
  ToolOption{"--service", "", "PATH", "The service binary (default: virelo-service beside this "
             "tool, or the one of this build).", [](Args& a, Text, Text v) { a.service = v; }},
  ToolOption{"--user", "", "NAME", "Run as root: the user to run the service as (default: "
             "nobody).", [](Args& a, Text, Text v) { a.user = v; }},
  ToolOption{"--env", "", "NAME=VALUE", "Extra environment for the service; \"{dir}\" in VALUE is "
             "the private socket directory.", takeEnvironment},
  ToolOption{"--trace", "", "", "Record what reaches the simulated host in {dir}/trace.",
             [](Args& a, Text, Text) { a.trace = true; }},
  ToolOption{"--delay", "", "MS", "Milliseconds to pause after each keystroke (type) or between "
             "clicks (click), 0 to 10000.", [](Args& a, Text n, Text v) {
               a.delayMs = integerOperand(v, n.c_str(), 0, 10'000); }},
  ToolOption{"--hold", "", "MS", "Milliseconds to hold each key, 0 to 10000.",
             [](Args& a, Text n, Text v) { a.holdMs = integerOperand(v, n.c_str(), 0, 10'000); }},
  ToolOption{"--file", "", "PATH", "Type the text of the file (\"-\": standard input) as it is "
             "read.", [](Args& a, Text, Text v) { a.file = v; }},
  ToolOption{"--into", "", "NAME", "First give the editable control named NAME the focus (as "
             "focus-on).", [](Args& a, Text, Text v) { a.into = v; }},
  ToolOption{"--via-clipboard", "", "", "Paste a text that the layout cannot type through the "
             "Wayland clipboard (wl-copy, then ctrl+v), replacing what it held.",
             [](Args& a, Text, Text) { a.viaClipboard = true; }},
  ToolOption{"--repeat", "", "N", "Click N times (1 to 1000), --delay MS apart.",
             [](Args& a, Text n, Text v) { a.repeat = integerOperand(v, n.c_str(), 1, 1000); }},
  ToolOption{"--screen", "", "N", "Positions on RandR monitor N (from 0) instead of the screen.",
             [](Args& a, Text n, Text v) { a.screen = integerOperand(v, n.c_str(), 0, 63); }},
  ToolOption{"--snap", "", "", "The service may snap the move onto a nearby control (cgevent).",
             [](Args& a, Text, Text) { a.snap = true; }},
  ToolOption{"--check", "", "", "Only read and check the script (run) or the steering profiles "
             "(steer); connect to nothing.",
             [](Args& a, Text, Text) { a.check = true; }},
  ToolOption{"--duration", "", "SECONDS", "Stop after so many seconds (1 to 86400).",
             [](Args& a, Text n, Text v) {
               a.durationS = integerOperand(v, n.c_str(), 1, 86'400); }},
  ToolOption{"--output", "", "FILE", "Write the script to FILE (\"-\": standard output).",
             [](Args& a, Text, Text v) { a.output = v; }},
  ToolOption{"--include-own", "", "", "Keep the input of XTEST clients and of the service's own "
             "devices.", [](Args& a, Text, Text) { a.includeOwn = true; }},
  ToolOption{"--role", "", "ROLE", "The control's AT-SPI role (\"push button\", \"text\", ...).",
             takeControl},
  ToolOption{"--name", "", "TEXT", "The control's whole name; of search: an RE2 expression "
             "matching the window's whole title.", takeControl},
  ToolOption{"--name-contains", "", "TEXT", "A part of the control's name.", takeControl},
  ToolOption{"--name-regex", "", "RE", "An RE2 expression matching the control's whole name.",
             takeControl},
  ToolOption{"--app", "", "APP", "The application's name or its program's.", takeControl},
  ToolOption{"--in", "", "NAME", "Only controls inside a container (a panel, a group, a frame, "
             "their window) whose whole name is NAME.", takeControl},
  ToolOption{"--nth", "", "N", "The Nth of the controls that match, in reading order (top to "
             "bottom, then left to right), from 1.", takeControl},
  ToolOption{"--all", "", "", "Also controls that are hidden, covered or off the screen.",
             takeControl},
  ToolOption{"--list-roles", "", "", "Print every role name instead.", takeControl},
  ToolOption{"--button", "", "BUTTON", "left (default), middle, right or 1, 2, 3.", takeControl},
  ToolOption{"--double", "", "", "Click twice.", takeControl},
  ToolOption{"--action", "", "[NAME]", "Press the control with its own action (AT-SPI's Action: "
             "no pointer, covered controls too), NAME or its first.", takeControl},
  ToolOption{"--first", "", "", "When several controls match, take the first in reading order.",
             takeControl},
  ToolOption{"--gone", "", "", "Wait until no such control is on the screen.", takeControl},
  ToolOption{"--timeout", "", "SECONDS", "Give up after so many seconds (default 10).", takeControl},
  ToolOption{"--text", "", "TEXT", "Until the control shows this whole text.", takeControl},
  ToolOption{"--text-regex", "", "RE", "Until the control's whole text matches this RE2 "
             "expression.", takeControl},
  ToolOption{"--class", "", "RE", "An RE2 expression matching the window's whole class or "
             "instance (WM_CLASS).", [](Args& a, Text, Text v) { a.windowClass = v; }},
  ToolOption{"--pid", "", "N", "The window's process id (_NET_WM_PID).",
             [](Args& a, Text n, Text v) {
               a.windowPid = integerOperand(v, n.c_str(), 1, 0x7FFFFFFF); }},
  // Those of steer, which reads them from its own words (ToolArguments::verbWords).
  ToolOption{"--input", "", "SOURCE", "What steers: pad (a game controller, the default), "
             "udp[:PORT] (head poses) or stdin (JSON lines).", takeOwn},
  ToolOption{"--listen", "", "ADDRESS", "The address of --input udp (default 127.0.0.1).",
             takeOwn},
  ToolOption{"--profile", "", "NAME", "The steering profile (default: the focused application's, "
             "else \"default\").", takeOwn},
  ToolOption{"--no-snap", "", "", "Never snap the pointer onto controls.", takeOwn},
  ToolOption{"--show", "", "", "Also print the live stick, speed and snapping state.", takeOwn},
  ToolOption{"--config", "", "FILE", "The configuration file of the profiles (default: the "
             "user's, else the system's).", takeOwn},
  ToolOption{"--virtual-pad", "", "FILE", "Drive a virtual game controller from the lines of "
             "FILE (for tests).", takeOwn},
};
// clang-format on

constexpr std::array<std::string_view, 2> kConnection = {"--socket", "--token-file"};
constexpr std::array<std::string_view, 2> kLayout = {"--layout", "--verbose"};
constexpr std::array<std::string_view, 2> kGlobal = {"--help", "--version"};

}  // namespace

const ToolOption* findOption(std::string_view spelling) {
  auto found = std::find_if(kOptions.begin(), kOptions.end(), [&](const ToolOption& option) {
    return option.name == spelling || (!option.shortName.empty() && option.shortName == spelling);
  });
  return found == kOptions.end() ? nullptr : &*found;
}

std::span<const ToolOption> allOptions() {
  return kOptions;
}

std::span<const std::string_view> connectionOptions() {
  return kConnection;
}

std::span<const std::string_view> layoutOptions() {
  return kLayout;
}

std::span<const std::string_view> globalOptions() {
  return kGlobal;
}

}  // namespace virelo::tools
