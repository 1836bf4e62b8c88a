// The sub-commands of the virelo tool that act as a client of a running service.
#pragma once

#include <memory>
#include <string_view>

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

// Types the text with the layout, and characters the layout lacks with a borrowed key of the X
// server when there is one for the client's backend (x11.h, typeTextBorrowing); throws
// UntypableText before anything is typed otherwise.
void typeAnyText(client::Client& client, std::string_view text,
                 const client::KeyboardLayout& layout, client::TypePacing pacing);

// Starts choosing the layout of a typing command on another thread, so that reading the X
// server's keymap overlaps connecting to the service; layoutOf() then takes its result (and its
// error). Not as root, where connecting first switches to the service's user.
void prefetchLayout(const ToolArguments& args);
// The layout of the input commands (layout_choice.h); said on standard error with -v.
std::shared_ptr<const client::KeyboardLayout> layoutOf(const ToolArguments& args);

}  // namespace virelo::tools
