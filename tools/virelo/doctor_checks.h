// The checks of "virelo doctor": what this user's desktop lets each backend do, and the exact fix
// for what is missing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "session/session_settings.h"

namespace virelo::tools {

struct Check {
  enum class Outcome { ok, warning, failure };
  std::string name;  // e.g. "uhid-access"
  Outcome outcome = Outcome::ok;
  std::string detail;  // what was found
  std::string fix;     // empty when there is nothing to do
};

struct Diagnosis {
  std::vector<Check> checks;
  bool corehidWorks = false;  // /dev/uhid opens read-write
  // The host's window server takes events: $DISPLAY answers with XTEST for "linux"; for a
  // compositor's host, the desktop session is that compositor's.
  bool cgeventWorks = false;
};

// Whether the udev rule that gives the seat's user /dev/uhid is installed in a directory that
// udev reads (/etc, /run, /usr/local/lib, /usr/lib or /lib, then udev/rules.d), and not masked by
// an empty file or a link to /dev/null of the same name earlier in that order. `root` is put in
// front of each directory ("" for this machine).
Check udevRule(const std::string& root = "");

// What the host can do, in the words of the capabilities table of docs/hosts.md: "host-input"
// (keys, pointer, buttons, wheel, media keys), "window-positions" (snapping and controls) and
// "fn-tap". `pipewire` says whether a PipeWire daemon runs (the GNOME host's absolute pointer).
std::vector<Check> hostAbilities(const std::string& host, bool pipewire);

// Runs every check on this machine, for the session directory's user and the host of `settings`.
Diagnosis diagnose(const session::SessionSettings& settings);

// Checks that optional parts of the tool add to diagnose() (the game controllers of "steer").
std::vector<std::function<Check()>>& extraChecks();

const char* outcomeName(Check::Outcome outcome);

}  // namespace virelo::tools
