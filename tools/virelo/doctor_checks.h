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

// Runs every check on this machine, for the session directory's user.
Diagnosis diagnose();

const char* outcomeName(Check::Outcome outcome);

}  // namespace virelo::tools
