// The sub-commands of the virelo tool that act as a client of a running service.
#pragma once

#include <memory>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"
#include "virelo/client/layouts.h"

namespace virelo::tools {

// Whether the sub-command is one of the client commands below.
bool isClientCommand(const std::string& command);

// Runs the sub-command on an authenticated client and returns the tool's exit status. Throws
// UsageError for bad operands (before anything is sent) and the client's errors.
int runClientCommand(client::Client& client, const client::Status& status,
                     const ToolArguments& args);

// The layout of the input commands (layout_choice.h); said on standard error with -v.
std::shared_ptr<const client::KeyboardLayout> layoutOf(const ToolArguments& args);

}  // namespace virelo::tools
