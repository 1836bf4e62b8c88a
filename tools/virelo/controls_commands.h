// The commands on controls by role and name: "find" and "wait-for" read the desktop's
// accessibility trees only; "click-on" and "focus-on" act through the service; "type --into"
// focuses before it types (client_commands.cpp).
#pragma once

#include <string>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"
#include "virelo/client/controls.h"

namespace virelo::tools {

bool isControlsCommand(const std::string& command);

// Runs one of them; returns the exit status. Throws UsageError and the client library's errors.
int runControlsCommand(const ToolArguments& args);

// The desktop that the process's environment names.
client::Desktop processDesktop();

// "type --into NAME": gives the editable control named NAME (of --app, --role; --first) the focus.
void focusInto(client::Client& client, const std::string& name, const ControlOptions& options);

}  // namespace virelo::tools
