// "virelo session": the per-user parent of the service. Runs in the foreground until SIGTERM,
// SIGINT or SIGHUP; keeps the service running (restarting it when it ends without being asked),
// publishes where it listens in $XDG_RUNTIME_DIR/virelo/session.json, and logs one line per event
// on standard error.
#pragma once

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

// Returns the exit status: 0 after an orderly stop, 1 when the session cannot start or gives up.
int runSession(const ToolArguments& args);

}  // namespace virelo::tools
