// "virelo start": runs a service in the foreground, printing how to reach it and its events.
#pragma once

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

// Returns the tool's exit status: the service's own exit status once it has ended.
int runStart(const ToolArguments& args);

}  // namespace virelo::tools
