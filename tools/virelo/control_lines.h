// How "find" and "wait-for" print a control for people and for scripts: one line of fields
// separated by tabs (role, name, application, bounds, states). The name is written as a JSON
// string, in quotes; the role and the application are escaped the same way, without the quotes,
// so that no text an application chooses adds a line or a field, or reaches a terminal as a
// control sequence.
#pragma once

#include <string>

#include "virelo/client/controls.h"

namespace virelo::tools {

// The control's line, without its newline: "push button<TAB>\"OK\"<TAB>myapp<TAB>506,388
// 86x34<TAB>enabled,focused".
std::string controlLine(const client::Control& control);

}  // namespace virelo::tools
