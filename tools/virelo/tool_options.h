// The options of the virelo tool, each once: its name, the value it takes, its help line and how
// it is stored into ToolArguments. A verb (verbs.h) names the ones it takes; the groups below are
// taken as a whole by the verbs that connect to a service or type with a keyboard layout. Static
// data, read from any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

struct ToolOption {
  std::string_view name;  // "--delay"
  // The short spelling ("-v"), or empty.
  std::string_view shortName;
  // The placeholder of its value ("MS"), or empty for an option without a value.
  std::string_view value;
  std::string_view help;
  // Stores the option (its name and value) into the arguments; throws UsageError for a bad value.
  void (*take)(ToolArguments& args, const std::string& name, const std::string& value);
};

// The option spelt so, long or short; nullptr for an unknown one.
const ToolOption* findOption(std::string_view spelling);

// Every option, in the order the help lists them.
std::span<const ToolOption> allOptions();

// The options of every verb that connects to a service: --socket, --token-file.
std::span<const std::string_view> connectionOptions();
// The options of every verb that types with a keyboard layout: --layout, --verbose.
std::span<const std::string_view> layoutOptions();
// The options that mean the same for every verb: --help, --version.
std::span<const std::string_view> globalOptions();

}  // namespace virelo::tools
