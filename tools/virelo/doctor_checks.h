// The checks of "virelo doctor": what this user's desktop lets each backend do, and the exact fix
// for what is missing.
#pragma once

#include <string>
#include <vector>

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
  bool cgeventWorks = false;  // $DISPLAY answers with XTEST
};

// Whether the udev rule that gives the seat's user /dev/uhid is installed in a directory that
// udev reads (/etc, /run, /usr/local/lib, /usr/lib or /lib, then udev/rules.d), and not masked by
// an empty file or a link to /dev/null of the same name earlier in that order. `root` is put in
// front of each directory ("" for this machine).
Check udevRule(const std::string& root = "");

// Runs every check on this machine, for the session directory's user.
Diagnosis diagnose();

const char* outcomeName(Check::Outcome outcome);

}  // namespace virelo::tools
