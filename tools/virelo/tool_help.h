// The help of the virelo tool, written from the verb table (verbs.h) and the options
// (tool_options.h): "virelo --help" lists every verb, "virelo help VERB" and "virelo VERB --help"
// show one with every option it takes.
#pragma once

#include <string>

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

struct Verb;

// The text of "virelo --help".
std::string overallHelp();

// The text of "virelo help VERB": its synopsis, what it does and each option it takes.
std::string verbHelp(const Verb& verb);

// "virelo help [VERB]": prints one of the two; throws UsageError for an unknown verb.
int runHelp(const ToolArguments& args);

}  // namespace virelo::tools
