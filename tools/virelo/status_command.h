// "virelo status" and "virelo doctor": what runs and what could.
#pragma once

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

// The service's status, and the session's when the service is the session's. Exit status 0 when
// ready, 1 otherwise.
int runStatus(const ToolArguments& args);

// The checks of doctor_checks.h, as lines or one JSON object. Exit status 0 when the chosen (or
// automatic) backend of the session can work, 1 otherwise.
int runDoctor(const ToolArguments& args);

}  // namespace virelo::tools
