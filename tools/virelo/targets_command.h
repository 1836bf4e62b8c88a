// "virelo targets": what the service's cursor snapping would find around the pointer now. The
// accessibility module runs the service's own snap target finder in this process, on the same
// accessibility services, and hands over what its near search (what a snapped move jumps to) and
// its wide one (what a resting pointer is pulled onto) find through its C table.
#pragma once

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

// Prints the targets; returns the exit status (0). Throws the client library's errors
// (ControlsUnavailable, PointerUnknown) when the desktop cannot be read.
int runTargets(const ToolArguments& args);

}  // namespace virelo::tools
