// The verbs of the virelo tool, one table: each verb's name, synopsis, help, the options it takes,
// whether it talks to a service and types with a keyboard layout, and its handler. The dispatcher
// (main.cpp), the help (tool_help.h) and the checks of the completions and the manual page all
// read it; a new verb is one entry here. Static data, read from any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/client.h"

namespace virelo::tools {

// How a verb reaches the service.
enum class Connection {
  none,    // never, or (steer) to the session on its own: it takes no connection options
  byVerb,  // its handler connects when it is ready to (after checking what it was given)
  first,   // the dispatcher connects to a ready service and hands the client to the handler
};

struct Verb {
  std::string_view name;
  // The heading the overall help lists it under.
  std::string_view section;
  // What follows "virelo NAME": its own options and its operands, "[--delay MS] TEXT".
  std::string_view synopsis;
  // What it does, for the help; lines of at most 74 characters.
  std::string_view summary;
  // Its own options (tool_options.h); the connection and layout options come with the flags.
  std::vector<std::string_view> options;
  Connection connection = Connection::none;
  // Whether it types with a keyboard layout (--layout, -v).
  bool layout = false;
  // The handler: `run` unless the connection is `first`, then `runConnected`.
  int (*run)(const ToolArguments&) = nullptr;
  int (*runConnected)(client::Client&, const client::Status&, const ToolArguments&) = nullptr;
  // Checks that concern several options at once, before anything is done; throws UsageError.
  void (*check)(const ToolArguments&) = nullptr;
};

// Every verb, in the order the help lists them.
std::span<const Verb> verbs();

// The verb named so; nullptr for none.
const Verb* findVerb(std::string_view name);

// Whether the verb takes the option (its own, or one of the groups its flags bring).
bool takesOption(const Verb& verb, std::string_view option);

// Every option the verb takes, its own first, without the global ones.
std::vector<std::string_view> optionsOf(const Verb& verb);

// "virelo type [CONNECTION OPTIONS] [LAYOUT OPTIONS] [--delay MS] ... TEXT".
std::string synopsisOf(const Verb& verb);

}  // namespace virelo::tools
