#include "tools/virelo/verbs.h"

#include <algorithm>

#include "tools/virelo/client_commands.h"
#include "tools/virelo/controls_commands.h"
#include "tools/virelo/listings.h"
#include "tools/virelo/pointing_commands.h"
#include "tools/virelo/record_command.h"
#include "tools/virelo/script_run.h"
#include "tools/virelo/session_command.h"
#include "tools/virelo/start_command.h"
#include "tools/virelo/status_command.h"
#include "tools/virelo/steer_program.h"
#include "tools/virelo/targets_command.h"
#include "tools/virelo/tool_help.h"
#include "tools/virelo/tool_options.h"
#include "tools/virelo/windows_commands.h"

namespace virelo::tools {
namespace {

constexpr std::string_view kSession = "Session commands";
constexpr std::string_view kInput = "Input commands (sent to the session's service)";
constexpr std::string_view kControls =
    "Controls by role and name (the accessibility tree of an X desktop)";
constexpr std::string_view kWindows =
    "Windows (the top-level windows of an X desktop, as its window manager lists them)";
constexpr std::string_view kOther = "Recording, listings and help";

int placePointer(client::Client& client, const client::Status&, const ToolArguments& args) {
  return runPointingCommand(client, args);
}

// The steering program reads the verb's words itself; a build without SDL2 knows the verb but
// cannot steer.
int runSteerVerb(const ToolArguments& args) {
  execSteer(args.verbWords);
}

void checkType(const ToolArguments& args) {
  if (args.controls.given && !args.into) {
    throw UsageError(
        "--role, --app, --in, --all, --first and --nth of \"type\" name the control of --into");
  }
  if (args.viaClipboard && args.file) {
    throw UsageError("--via-clipboard pastes a TEXT operand, not a --file");
  }
}

// The options that name a control, of click-on, focus-on and wait-for.
#define VIRELO_NAMED_CONTROL \
  "--name TEXT|--name-contains TEXT|--name-regex RE [--role ROLE] [--app APP] [--in NAME] [--all]"

// clang-format off
const std::vector<Verb> kVerbs = {
  {"session", kSession, "[--host NAME] [--backend NAME] [--service PATH]",
   "Run the per-user session in the foreground: start the service, keep it\n"
   "running (restarting it when it ends), publish where it listens in\n"
   "$XDG_RUNTIME_DIR/virelo/session.json, log on standard error; stop it in\n"
   "order on SIGTERM, SIGINT or SIGHUP. One session per user; not as root.\n"
   "Host and backend default to those of $XDG_CONFIG_HOME/virelo/config.json,\n"
   "else /etc/xdg/virelo/config.json (keys \"host\" and \"backend\").",
   {"--host", "--backend", "--service"}, Connection::none, false, runSession},
  {"status", kSession, "[--json]",
   "Show whether the service is ready, its backend and protocol, and the\n"
   "session's host, service pid, uptime and restarts.",
   {"--json"}, Connection::byVerb, false, runStatus},
  {"doctor", kSession, "[--json] [--host NAME] [--backend NAME]",
   "Check what this desktop lets each backend do and say how to fix what is\n"
   "missing. Exit 0 when the chosen (or automatic) backend can work.",
   {"--json", "--host", "--backend"}, Connection::none, false, runDoctor},
  {"start", kSession, "[--backend NAME] [--service PATH] [--user NAME] [--env NAME=VALUE]... [--trace]",
   "Start a private service in the foreground and print its status events\n"
   "until Ctrl-C or the service ends. First prints the socket path and token\n"
   "as shell \"export VIRELO_SOCKET=... VIRELO_TOKEN=...\" lines.",
   {"--backend", "--service", "--user", "--env", "--trace"}, Connection::none, false, runStart},
  {"chord", kInput, "CHORD...",
   "Press and release key chords in turn, e.g. \"ctrl+a ctrl+c\", \"cmd+tab\",\n"
   "\"f5\"; one-character key names are keys of the layout\n"
   "(\"virelo key --layout de ctrl+ü\").",
   {}, Connection::first, true, nullptr, runChord},
  {"key", kInput, "CHORD...", "The same as chord.", {}, Connection::first, true, nullptr, runChord},
  {"type", kInput,
   "[--delay MS] [--hold MS] [--into NAME [--role ROLE] [--app APP] [--in NAME] [--all] [--first|--nth N]] [--via-clipboard] TEXT|--file PATH",
   "Type a text as it stands (a newline in it is Return, a tab is Tab: type\n"
   "$'a\\nb' from a shell), or a file's as it is read, with the keyboard\n"
   "layout, using shift, AltGr and dead keys as the layout needs. On an X\n"
   "server, characters the layout lacks (emoji, CJK) are typed with a spare\n"
   "key lent to them for the moment (F16-F19); on the gnome, kde and wlroots\n"
   "hosts they are refused before anything is typed, unless --via-clipboard\n"
   "pastes such a text (which replaces the clipboard).",
   {"--delay", "--hold", "--file", "--into", "--role", "--app", "--in", "--all", "--first",
    "--nth", "--via-clipboard"},
   Connection::first, true, nullptr, runType, checkType},
  {"click", kInput, "[--repeat N] [--delay MS] [BUTTON]",
   "Click a button: left (default), right or middle, or 1, 2, 3.",
   {"--repeat", "--delay"}, Connection::first, false, nullptr, runClick},
  {"double-click", kInput, "[--repeat N] [--delay MS] [BUTTON]", "Click twice.",
   {"--repeat", "--delay"}, Connection::first, false, nullptr, runClick},
  {"drag", kInput, "DX DY [BUTTON]", "Hold a button, move by DX, DY in small steps, release.",
   {}, Connection::first, false, nullptr, runDrag},
  {"move", kInput, "[--snap] DX DY",
   "Move the pointer by DX, DY counts (positive: right, down).",
   {"--snap"}, Connection::first, false, nullptr, runMove},
  {"mousemove", kInput, "[--screen N] X Y",
   "Place the pointer on the screen position X, Y (pixels from the top left\n"
   "corner). Needs an X server ($DISPLAY); with corehid not in a Wayland\n"
   "session. The pointer is read back and corrected until it is exact, or the\n"
   "command fails (exit 1).",
   {"--screen"}, Connection::first, false, nullptr, placePointer},
  {"mouseto", kInput, "[--screen N] FX FY",
   "The same with fractions of the screen (or monitor): 0.5 0.5 its centre.",
   {"--screen"}, Connection::first, false, nullptr, placePointer},
  {"getmouselocation", kInput, "[--json|--shell]",
   "Print where the pointer is (\"x:X y:Y screen:N\"; N: the RandR monitor).",
   {"--json", "--shell"}, Connection::none, false, runGetMouseLocation},
  {"scroll", kInput, "N", "Turn the wheel N steps (positive: up, negative: down).",
   {}, Connection::first, false, nullptr, runScroll},
  {"media", kInput, "KEY",
   "Press and release a media key: mute, volume-up, volume-down, play-pause,\n"
   "next, previous.",
   {}, Connection::first, false, nullptr, runMedia},
  {"hold", kInput, "KEY...",
   "Hold keys until Ctrl-C, then release them. A KEY is a chord (\"ctrl+a\"),\n"
   "a media key, or left-button / right-button / middle-button.",
   {}, Connection::first, false, nullptr, runHold},
  {"steer", kInput,
   "[--input pad|udp[:PORT]|stdin] [--listen ADDRESS] [--profile NAME] [--no-snap] [--show] [--config FILE] [--virtual-pad FILE] [--check]",
   "Steer the pointer from a game controller, a head tracker or lines on\n"
   "standard input until Ctrl-C, snapping onto controls when it goes slowly;\n"
   "--check checks the steering profiles instead. It connects to the session\n"
   "(or $VIRELO_SOCKET and $VIRELO_TOKEN).",
   {"--input", "--listen", "--profile", "--no-snap", "--show", "--config", "--virtual-pad",
    "--check"}, Connection::none, false, runSteerVerb},
  {"run", kInput, "[--check] [FILE|-]",
   "Run a script, one action per line over one connection (see below); \"-\"\n"
   "or no FILE reads standard input. The whole script is checked first.",
   {"--check"}, Connection::byVerb, true, runScriptCommand},
  {"find", kControls,
   "[--role ROLE] [--name TEXT|--name-contains TEXT|--name-regex RE] [--app APP] [--in NAME] [--all] [--json] [--list-roles]",
   "List the controls that match in reading order, one per line: role, name,\n"
   "application, bounds (X server pixels) and states; --json adds the text\n"
   "and the value of those that have one. Without --all only those visible\n"
   "and not covered by another window. Exit 1 when none matches.",
   {"--role", "--name", "--name-contains", "--name-regex", "--app", "--in", "--all", "--json",
    "--list-roles"}, Connection::none, false, runFind},
  {"get-text", kControls,
   "[--role ROLE] [--name TEXT|--name-contains TEXT|--name-regex RE] [--app APP] [--in NAME] [--first|--nth N]",
   "Print the whole text of one control (an entry, a label, a spin button).\n"
   "Exit 1 when none matches, when several do, or when it has no text.",
   {"--role", "--name", "--name-contains", "--name-regex", "--app", "--in", "--first", "--nth"},
   Connection::none, false, runGetText},
  {"click-on", kControls,
   VIRELO_NAMED_CONTROL " [--button BUTTON] [--double] [--action [NAME]] [--first|--nth N]",
   "Move the pointer onto the control's centre through the service and click\n"
   "it; or, with --action, have it do its own action (its first, or NAME),\n"
   "with no pointer and no service. Says which it did. Refused (exit 1,\n"
   "nothing clicked) when none matches, when several do, or when it is\n"
   "disabled (and, with the pointer, not visible, covered, or not placed on\n"
   "the screen by a Wayland compositor's windows).",
   {"--name", "--name-contains", "--name-regex", "--role", "--app", "--in", "--all", "--button",
    "--double", "--action", "--first", "--nth"}, Connection::byVerb, false, runActOn, nullptr,
   checkClickOn},
  {"focus-on", kControls, VIRELO_NAMED_CONTROL " [--first|--nth N]",
   "Click a control that can take the keyboard focus, and wait until it has.",
   {"--name", "--name-contains", "--name-regex", "--role", "--app", "--in", "--all", "--first",
    "--nth"}, Connection::byVerb, false, runActOn},
  {"wait-for", kControls,
   "[--name TEXT|--name-contains TEXT|--name-regex RE] [--role ROLE] [--app APP] [--in NAME] [--all] [--text TEXT|--text-regex RE] [--gone] [--timeout SECONDS]",
   "Wait until such a control is on the screen (--gone: until none is);\n"
   "with --text or --text-regex until one shows that text (then no name is\n"
   "needed).",
   {"--name", "--name-contains", "--name-regex", "--role", "--app", "--in", "--all", "--text",
    "--text-regex", "--gone", "--timeout"}, Connection::none, false, runWaitFor},
  {"targets", kControls, "[--json]",
   "The snap targets the service would find around the pointer now.",
   {"--json"}, Connection::none, false, runTargets},
  {"windows", kWindows, "[--json]",
   "List the top-level windows, oldest first, one per line: id, title, class,\n"
   "pid, geometry, desktop (\"all\"; \"-\" when it does not say) and whether\n"
   "it is focused.",
   {"--json"}, Connection::none, false, runWindows},
  {"search", kWindows, "[--name RE] [--class RE] [--pid N] [--json]",
   "Print the ids of the windows whose title, class (or instance) and pid\n"
   "match, one per line (--json: their descriptions). Exit 1 when none does.",
   {"--name", "--class", "--pid", "--json"}, Connection::none, false, runSearch},
  {"activate", kWindows, "ID",
   "Raise and focus the window (decimal, or hexadecimal 0x...) through the\n"
   "window manager (_NET_ACTIVE_WINDOW) and wait until it is active. Refused\n"
   "(exit 1) where the window manager offers no such request.",
   {}, Connection::none, false, runActivate},
  {"getactivewindow", kWindows, "",
   "Print the id of the active window. Exit 1 when none is.",
   {}, Connection::none, false, runGetActiveWindow},
  {"getdisplaygeometry", kWindows, "",
   "Print the width and height of the whole screen in pixels.",
   {}, Connection::none, false, runGetDisplayGeometry},
  {"record", kOther, "[--duration SECONDS] [--output FILE] [--include-own]",
   "Record the keyboard, pointer, wheel and media input of the X session as a\n"
   "script for \"run\", with sleep lines for the timing, until Ctrl-C or the\n"
   "--duration; written to FILE or standard output. The input of XTEST\n"
   "clients and the service's own devices is left out unless --include-own.",
   {"--duration", "--output", "--include-own"}, Connection::none, false, runRecordCommand},
  {"list-keys", kOther, "",
   "The key names of the layout: each key's position name and the keysym\n"
   "names it gives.",
   {}, Connection::none, true, runListKeys},
  {"list-layouts", kOther, "", "Every keyboard layout and variant that --layout takes.",
   {}, Connection::none, false, runListLayouts},
  {"help", kOther, "[COMMAND]", "Show this help, or the help of a command.",
   {}, Connection::none, false, runHelp},
};
// clang-format on

#undef VIRELO_NAMED_CONTROL

bool contains(std::span<const std::string_view> names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::span<const Verb> verbs() {
  return kVerbs;
}

const Verb* findVerb(std::string_view name) {
  auto found = std::find_if(kVerbs.begin(), kVerbs.end(),
                            [&](const Verb& verb) { return verb.name == name; });
  return found == kVerbs.end() ? nullptr : &*found;
}

bool takesOption(const Verb& verb, std::string_view option) {
  return contains(verb.options, option) ||
         (verb.connection != Connection::none && contains(connectionOptions(), option)) ||
         (verb.layout && contains(layoutOptions(), option));
}

std::vector<std::string_view> optionsOf(const Verb& verb) {
  std::vector<std::string_view> options = verb.options;
  if (verb.connection != Connection::none) {
    options.insert(options.end(), connectionOptions().begin(), connectionOptions().end());
  }
  if (verb.layout) options.insert(options.end(), layoutOptions().begin(), layoutOptions().end());
  return options;
}

std::string synopsisOf(const Verb& verb) {
  std::string text = "virelo ";
  text += verb.name;
  if (verb.connection != Connection::none) text += " [CONNECTION OPTIONS]";
  if (verb.layout) text += " [LAYOUT OPTIONS]";
  if (!verb.synopsis.empty()) {
    // Piece by piece, as g++ 12 at -O3 warns falsely of an overlap in the concatenation.
    text += ' ';
    text += verb.synopsis;
  }
  return text;
}

}  // namespace virelo::tools
