// The commands on controls by role and name: "find", "get-text" and "wait-for" read the desktop's
// accessibility trees only; "click-on" and "focus-on" act through the service; "type --into"
// focuses before it types (client_commands.cpp).
#pragma once

#include <string>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"
#include "virelo/client/controls.h"

namespace virelo::tools {

// Each returns the exit status; throws UsageError (an unknown role among them) and the client
// library's errors.
int runFind(const ToolArguments& args);
int runWaitFor(const ToolArguments& args);
// "click-on" and "focus-on": the desktop is checked before the service is asked; "click-on
// --action" asks no service.
int runActOn(const ToolArguments& args);
// "get-text": one control's text.
int runGetText(const ToolArguments& args);
// click-on's checks: --action excludes --button and --double.
void checkClickOn(const ToolArguments& args);

// The desktop that the process's environment names.
client::Desktop processDesktop();

// "type --into NAME": gives the editable control named NAME (of --app, --role; --first) the focus.
void focusInto(client::Client& client, const std::string& name, const ControlOptions& options);

}  // namespace virelo::tools
