// "virelo run [--check] [FILE|-]": reads and checks the whole script (exit 2 naming the first
// wrong line), then, without --check, connects and runs it through the client library's script
// runner (virelo/client/script.h; exit 1 naming the line that failed). Keys and buttons that
// "keydown" and "buttondown" hold are released when the script ends, fails or is interrupted (an
// interrupt shuts the connection, and the service releases everything a connection held when it
// ends).
#pragma once

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

int runScriptCommand(const ToolArguments& args);

}  // namespace virelo::tools
