// Running a checked virelo script through one connection, and the "run" command around it.
// Keys and buttons that "keydown" and "buttondown" hold stay held from line to line, and are
// released when the script ends, fails or is interrupted (an interrupt shuts the connection,
// and the service releases everything a connection held when it ends).
#pragma once

#include <vector>

#include "tools/virelo/script.h"
#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"

namespace virelo::tools {

// Runs the actions in order. A failure throws ScriptError naming the line, after releasing
// everything the script holds.
void runScript(client::Client& client, const std::vector<ScriptAction>& actions);

// "virelo run [--check] [FILE|-]": reads and checks the whole script (exit 2 naming the first
// wrong line), then, without --check, connects and runs it (exit 1 naming the line that failed).
int runScriptCommand(const ToolArguments& args);

}  // namespace virelo::tools
