// "virelo record [--duration S] [--output FILE] [--include-own]": records the keyboard, pointer,
// wheel and media input of the X session that $DISPLAY names (XInput 2 raw events on the root
// window) as a virelo run script (recording.h) until Ctrl-C, SIGTERM, SIGHUP or the duration,
// then writes the whole script to the file or standard output.
//
// Input that the service posts itself is left out unless --include-own: what arrives through the
// server's XTEST devices (the "cgevent" backend's, and any other XTEST client's) and through the
// service's own keyboard, mouse and media devices ("Virelo ..."; the "corehid" backend's).
#pragma once

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

int runRecordCommand(const ToolArguments& args);

}  // namespace virelo::tools
