// "virelo targets": what the service's cursor snapping would find around the pointer now. The
// service's own snap target finder runs in this process, on the same accessibility services (the
// accessibility module), with a near search (what a snapped move jumps to) and a wide one (what a
// resting pointer is pulled onto).
#pragma once

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

// Prints the targets; returns the exit status (0). Throws the client library's errors
// (ControlsUnavailable, PointerUnknown) when the desktop cannot be read.
int runTargets(const ToolArguments& args);

}  // namespace virelo::tools
