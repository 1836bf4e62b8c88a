// The sub-commands of the virelo tool that act as a client of a running service.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"
#include "virelo/client/layouts.h"

namespace virelo::tools {

// The verbs that send input on a client connected to a ready service; each returns the tool's
// exit status, and throws UsageError for bad operands (before anything is sent) and the client's
// errors.
using ConnectedVerb = int(client::Client&, const client::Status&, const ToolArguments&);
// "chord" and "key": presses and releases each chord in turn.
ConnectedVerb runChord;
// "type TEXT" and "type --file PATH", after focusing the control of --into; with --via-clipboard
// a text that cannot be typed is pasted (client::pasteText), saying so on standard error.
ConnectedVerb runType;
// "click" and "double-click", --repeat times, --delay milliseconds apart.
ConnectedVerb runClick;
ConnectedVerb runDrag;
ConnectedVerb runMove;
ConnectedVerb runScroll;
ConnectedVerb runMedia;
// Holds until SIGINT, SIGTERM or SIGHUP, then releases; ends early when the service goes away.
ConnectedVerb runHold;

// Types the text with the layout, and characters the layout lacks with a borrowed key of the X
// server when there is one for the client's backend and the service's host (x11.h,
// typeTextBorrowing; `host` as client::serviceHost() gives it, which is asked when it is not
// given); throws UntypableText before anything is typed otherwise, which on a compositor's host
// points to --via-clipboard.
void typeAnyText(client::Client& client, std::string_view text,
                 const client::KeyboardLayout& layout, client::TypePacing pacing,
                 const std::optional<std::string>& host = std::nullopt);

// Starts choosing the layout of a typing command on another thread, so that reading the X
// server's keymap overlaps connecting to the service; layoutOf() then takes its result (and its
// error). Not as root, where connecting first switches to the service's user.
void prefetchLayout(const ToolArguments& args);
// The layout of the input commands (layout_choice.h); said on standard error with -v.
std::shared_ptr<const client::KeyboardLayout> layoutOf(const ToolArguments& args);

}  // namespace virelo::tools
