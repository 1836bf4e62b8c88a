#include "tools/virelo/tool_arguments.h"

#include <charconv>

namespace virelo::tools {

const char* usageText() {
  return R"(Usage: virelo [OPTIONS] COMMAND [ARGUMENTS]

Drives the Virelo service of your session from the command line, or runs the session.

Session commands:
  session               Run the per-user session in the foreground: start the service, keep it
                        running (restarting it when it ends), publish where it listens in
                        $XDG_RUNTIME_DIR/virelo/session.json, log on standard error; stop it in
                        order on SIGTERM, SIGINT or SIGHUP. One session per user; not as root.
  status [--json]       Show whether the service is ready, its backend and protocol, and the
                        session's host, service pid, uptime and restarts.
  doctor [--json]       Check what this desktop lets each backend do and say how to fix what is
                        missing. Exit 0 when the chosen (or automatic) backend can work.
  start                 Start a private service in the foreground and print its status events
                        until Ctrl-C or the service ends. First prints the socket path and token
                        as shell "export VIRELO_SOCKET=... VIRELO_TOKEN=..." lines.

Input commands (sent to the session's service):
  chord CHORD...        Press and release key chords in turn, e.g. "ctrl+a ctrl+c", "cmd+tab",
  key CHORD...          "f5"; one-character key names are keys of the layout
                        ("virelo key --layout de ctrl+ü").
  type TEXT             Type a text as it stands (a newline in it is Return, a tab is Tab:
                        type $'a\nb' from a shell) with the keyboard layout of
                        --layout, using shift, AltGr and dead keys as the layout needs;
                        --delay MS pauses after each keystroke, --hold MS holds each key.
                        On an X server, characters the layout lacks (emoji, CJK) are typed
                        with a spare key lent to them for the moment (F16-F19).
  type --file PATH      Type the text of a file ("-": standard input) as it is read.
  type --into NAME TEXT Give the editable control named NAME the focus (as focus-on), then type.
  click [BUTTON]        Click a button: left (default), right or middle, or 1, 2, 3;
                        --repeat N clicks N times, --delay MS apart.
  double-click [BUTTON] Click twice.
  drag DX DY [BUTTON]   Hold a button, move by DX, DY in small steps, release.
  move [--snap] DX DY   Move the pointer by DX, DY counts (positive: right, down); with
                        --snap the service may snap the move onto a nearby control (cgevent).
  mousemove X Y         Place the pointer on the screen position X, Y (pixels from the top
                        left corner; --screen N: of RandR monitor N, from 0). Needs an X server
                        ($DISPLAY); with corehid not in a Wayland session. The pointer is read
                        back and corrected until it is exact, or the command fails (exit 1).
  mouseto FX FY         The same with fractions of the screen (or monitor): 0.5 0.5 its centre.
  getmouselocation [--json|--shell]
                        Print where the pointer is ("x:X y:Y screen:N"; N: the RandR monitor).
  scroll N              Turn the wheel N steps (positive: up, negative: down).
  media KEY             Press and release a media key: mute, volume-up, volume-down,
                        play-pause, next, previous.
  hold KEY...           Hold keys until Ctrl-C, then release them. A KEY is a chord
                        ("ctrl+a"), a media key, or left-button / right-button / middle-button.
  run [--check] [FILE|-]
                        Run a script, one action per line over one connection (below); "-" or
                        no FILE reads standard input. The whole script is checked first; with
                        --check nothing else happens.

Controls by role and name (the accessibility tree of an X desktop; see docs/accessibility.md):
  find [CONTROL] [--all] [--json]
                        List the controls that match, one per line: role, name, application,
                        bounds (X server pixels) and states. Without --all only those visible
                        and not covered by another window. Exit 1 when none matches.
  find --list-roles     Every role name (AT-SPI's: "push button", "text", "menu item", ...).
  click-on CONTROL [--button B] [--double] [--first]
                        Move the pointer onto the control's centre through the service and
                        click it. Refused (exit 1, nothing clicked) when none matches, when
                        several do (listed; --first takes the front-most), or when it is
                        disabled, not visible or covered.
  focus-on CONTROL [--first]
                        Click a control that can take the keyboard focus, and wait until it has.
  wait-for CONTROL [--gone] [--timeout S]
                        Wait until such a control is on the screen (--gone: until none is);
                        exit 1 after S seconds (default 10).
  targets [--json]      The snap targets the service would find around the pointer now.
  CONTROL is any of --role ROLE, --name TEXT (the whole name), --name-contains TEXT,
  --name-regex RE (RE2 syntax, the whole name), --app APP (the application's name or its
  program's). Applications that do not answer within 2 s are skipped and named.

  record [--duration S] [--output FILE] [--include-own]
                        Record the keyboard, pointer, wheel and media input of the X session
                        as a script for "run", with sleep lines for the timing, until Ctrl-C
                        or S seconds; written to FILE or standard output. The input of XTEST
                        clients and the service's own devices is left out unless --include-own.

  list-keys             The key names of the layout (--layout, else the active one): each
                        key's position name and the keysym names it gives.
  list-layouts          Every keyboard layout and variant that --layout takes.

Script lines (words split as a shell splits them; # begins a comment):
  type TEXT, key CHORD..., keydown CHORD, keyup CHORD, click [BUTTON], buttondown BUTTON,
  buttonup BUTTON, mousemove X Y, mousemove_relative DX DY, wheel N, media KEY, sleep MS,
  typedelay MS, typehold MS, layout LAYOUT, click-on CONTROL..., wait-for CONTROL...
  (with the options above). BUTTON is left, middle, right or 1, 2, 3. What keydown and
  buttondown hold is released when the script ends, fails or is interrupted. A wrong line stops
  the script before anything is sent (exit 2); a line that fails stops it (exit 1); both name
  the line.

Connection (input commands, status): the service that $VIRELO_SOCKET and $VIRELO_TOKEN name
when both are set, else the session's ($XDG_RUNTIME_DIR/virelo/session.json).
  --socket PATH         The service's socket.
  --token-file PATH     A file holding the client token (default: $VIRELO_TOKEN or the session's).
  Run as root, the tool talks to the service as the user that owns the socket.

Keyboard layout (type, chord, run):
  --layout LAYOUT[(VARIANT)]
                        An XKB layout, e.g. de, fr(azerty), us(intl), ru.
  --layout active       The layout of the X server that $DISPLAY names, else the one the
                        XKB_DEFAULT_LAYOUT/_VARIANT/... variables name, else us.
  Without --layout: the X server's current layout when $DISPLAY answers, else $VIRELO_LAYOUT,
  else "layout" in the configuration file, else the XKB_DEFAULT_* variables', else us.
  -v, --verbose         Say which layout was used and where it came from.

Options of "session" (default: $XDG_CONFIG_HOME/virelo/config.json, else
/etc/xdg/virelo/config.json, with the keys "host" and "backend"):
  --host NAME           sim, uhid or linux (default: linux).
  --backend NAME        corehid, cgevent or auto (default): corehid when /dev/uhid opens
                        read-write, else cgevent when $DISPLAY answers with XTEST.
  --service PATH        As for "start".

Options of "start":
  --backend NAME        corehid (default) or cgevent.
  --service PATH        The service binary (default: virelo-service beside this tool, or the
                        one of this build).
  --user NAME           When run as root, the user to run the service as (default: nobody).
  --env NAME=VALUE      Extra environment for the service; "{dir}" in VALUE stands for the
                        private socket directory (e.g. --env VL_SIM_WORLD=/path/world.json).
  --trace               Record what reaches the simulated host in {dir}/trace (printed as
                        "export VIRELO_TRACE=...").

  --json                Print one JSON object (status, doctor, getmouselocation).
  -h, --help            Show this help.
  --version             Show the version and the protocol number.

Key names: letters, digits, return, escape, backspace, tab, space, minus, equals, left-bracket,
right-bracket, backslash, semicolon, quote, grave, comma, period, slash, capslock, f1..f24,
insert, delete, home, end, pageup, pagedown, up, down, left, right; modifiers ctrl, shift,
alt/option, cmd/gui/super and right-ctrl, right-shift, right-alt, right-gui.

Exit status: 0 on success, 1 when the service, the session or the connection failed, 2 for a
wrong command line, an unknown key name or layout, or untypable text. "start" exits with the
service's exit status.
)";
}

ToolArguments parseToolArguments(int argc, const char* const* argv) {
  ToolArguments args;
  bool optionsEnded = false;
  auto value = [&](int& i, const std::string& option) -> std::string {
    if (i + 1 >= argc) throw UsageError(option + " needs a value");
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!optionsEnded && arg.starts_with("--")) {
      if (arg == "--") {
        optionsEnded = true;
      } else if (arg == "--help") {
        args.help = true;
      } else if (arg == "--version") {
        args.version = true;
      } else if (arg == "--verbose") {
        args.verbose = true;
      } else if (arg == "--json") {
        args.json = true;
      } else if (arg == "--socket") {
        args.socket = value(i, arg);
      } else if (arg == "--token") {
        throw UsageError(
            "--token is gone (other users can read it in ps): use --token-file PATH "
            "or $VIRELO_TOKEN");
      } else if (arg == "--token-file") {
        args.tokenFile = value(i, arg);
      } else if (arg == "--host") {
        args.host = value(i, arg);
      } else if (arg == "--layout") {
        args.layout = value(i, arg);
      } else if (arg == "--backend") {
        args.backend = value(i, arg);
      } else if (arg == "--service") {
        args.service = value(i, arg);
      } else if (arg == "--user") {
        args.user = value(i, arg);
      } else if (arg == "--env") {
        std::string entry = value(i, arg);
        auto eq = entry.find('=');
        if (eq == std::string::npos || eq == 0) throw UsageError("--env needs NAME=VALUE");
        args.environment[entry.substr(0, eq)] = entry.substr(eq + 1);
      } else if (arg == "--delay" || arg == "--hold") {
        int ms = integerOperand(value(i, arg), arg.c_str(), 0, 10'000);
        (arg == "--delay" ? args.delayMs : args.holdMs) = ms;
      } else if (arg == "--file") {
        args.file = value(i, arg);
      } else if (arg == "--repeat") {
        args.repeat = integerOperand(value(i, arg), "--repeat", 1, 1000);
      } else if (arg == "--screen") {
        args.screen = integerOperand(value(i, arg), "--screen", 0, 63);
      } else if (arg == "--shell") {
        args.shell = true;
      } else if (arg == "--check") {
        args.check = true;
      } else if (arg == "--duration") {
        args.durationS = integerOperand(value(i, arg), "--duration", 1, 86'400);
      } else if (arg == "--output") {
        args.output = value(i, arg);
      } else if (arg == "--include-own") {
        args.includeOwn = true;
      } else if (arg == "--trace") {
        args.trace = true;
      } else if (arg == "--into") {
        args.into = value(i, arg);
      } else if (arg == "--snap") {
        args.snap = true;
      } else if (takeControlOption(
                     arg, [&] { return value(i, arg); }, args.controls)) {
      } else {
        throw UsageError("unknown option " + arg);
      }
    } else if (!optionsEnded && arg == "-h") {
      args.help = true;
    } else if (!optionsEnded && arg == "-v") {
      args.verbose = true;
    } else if (args.command.empty()) {
      args.command = arg;
    } else {
      args.operands.push_back(arg);
    }
  }
  if (args.command.empty() && !args.help && !args.version) throw UsageError("no command given");
  const bool onControls = args.command == "find" || args.command == "click-on" ||
                          args.command == "focus-on" || args.command == "wait-for" ||
                          (args.command == "type" && args.into);
  if (args.controls.given && !onControls && !args.help) {
    throw UsageError(
        "the options of controls (--role, --name, ...) are for find, click-on, "
        "focus-on, wait-for and type --into");
  }
  if (args.into && args.command != "type") throw UsageError("--into is for type");
  if (args.snap && args.command != "move") throw UsageError("--snap is for move");
  return args;
}

int integerOperand(const std::string& text, const char* what, int min, int max) {
  int value = 0;
  const char* begin = text.data();
  if (!text.empty() && text[0] == '+') ++begin;
  auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || begin == end || value < min ||
      value > max) {
    throw UsageError(std::string(what) + " must be a whole number from " + std::to_string(min) +
                     " to " + std::to_string(max) + ", not \"" + text + "\"");
  }
  return value;
}

}  // namespace virelo::tools
