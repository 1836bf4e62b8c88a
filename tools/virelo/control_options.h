// The options that name a control ("--role push-button --name OK"), shared by the commands that
// act on controls and the script lines "click-on" and "wait-for".
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "virelo/client/controls.h"

namespace virelo::tools {

struct ControlOptions {
  std::optional<std::string> role;
  // One of --name, --name-contains, --name-regex: the option and its text.
  std::optional<std::string> nameOption;
  std::string name;
  std::optional<std::string> application;
  bool all = false;
  // click-on: the button bit (--button), --double; click-on and focus-on: --first.
  int button = 1;
  bool twice = false;
  bool first = false;
  // wait-for: --gone, --timeout in seconds.
  bool gone = false;
  double timeoutS = 10;
  // find --list-roles.
  bool listRoles = false;
  // Whether any of these options was given.
  bool given = false;
};

// Takes `option` when it is one of the options above, reading its value with `value` (which
// throws UsageError when there is none); false for any other option. Throws UsageError for a bad
// value.
bool takeControlOption(const std::string& option, const std::function<std::string()>& value,
                       ControlOptions& options);

// The query the options make; with `nameRequired`, one of the name options must be given. Throws
// UsageError.
client::ControlQuery controlQuery(const ControlOptions& options, bool nameRequired);

}  // namespace virelo::tools
