// The commands on the top-level windows of an X desktop, through its window manager's hints
// (windows.h): "windows", "search", "activate", "getactivewindow" and "getdisplaygeometry".
#pragma once

#include <string>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/windows.h"

namespace virelo::tools {

// The window's line, without its newline: id, title (a JSON string, in quotes), class, pid,
// geometry, desktop ("all", or "-" when the window does not say) and "focused" or "-", separated
// by tabs: "4194307<TAB>\"Notes\"<TAB>Gedit<TAB>812<TAB>10,52 640x480<TAB>0<TAB>focused".
std::string windowLine(const client::WindowInfo& window);

// Each returns the exit status: 1 when nothing is found; throws UsageError and the client
// library's errors.
int runWindows(const ToolArguments& args);
int runSearch(const ToolArguments& args);
int runActivate(const ToolArguments& args);
int runGetActiveWindow(const ToolArguments& args);
int runGetDisplayGeometry(const ToolArguments& args);

}  // namespace virelo::tools
