// The absolute pointing commands of the virelo tool: "mousemove X Y" and "mouseto FX FY" place the
// pointer on a screen position (of a RandR monitor with --screen N), "getmouselocation" prints
// where it is. They need an X server where the pointer's position can be known (x11.h,
// pointerDisplay); elsewhere they fail with exit status 1 before anything is sent.
#pragma once

#include <string>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"
#include "virelo/client/x11.h"

namespace virelo::tools {

// "mousemove" and "mouseto" on an authenticated client; returns the exit status. Throws
// UsageError for bad operands or a position off the screen, and the client library's errors
// (PointerUnknown, PointerNotPlaced, ...).
int runPointingCommand(client::Client& client, const ToolArguments& args);

// "getmouselocation [--json|--shell]": prints the pointer's position and the number of the
// monitor it is on to standard output. Needs no service.
int runGetMouseLocation(const ToolArguments& args);

// Places the pointer at (x, y) of the X server that the environment names, for the client's
// backend; the script runner's "mousemove X Y". Throws as runPointingCommand.
void placePointerAt(client::Client& client, client::PointerPosition target);

}  // namespace virelo::tools
