// "virelo session": the command line's way into the session (session/session_run.h). Fills the
// session's options from the command line and this machine, and gives the settings that other
// verbs read from the same configuration file.
#pragma once

#include "session/session_settings.h"
#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

// Runs the session; returns its exit status. Throws UsageError for operands or a wrong --host or
// --backend, and whatever the session throws.
int runSession(const ToolArguments& args);

// The session's settings under these arguments' --host and --backend (UsageError when wrong).
session::SessionSettings sessionSettings(const ToolArguments& args);

}  // namespace virelo::tools
