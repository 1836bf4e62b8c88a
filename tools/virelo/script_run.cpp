#include "tools/virelo/script_run.h"

#include <unistd.h>

#include <iostream>
#include <optional>
#include <system_error>

#include "tools/virelo/client_commands.h"
#include "tools/virelo/connection.h"
#include "tools/virelo/descriptor_input.h"
#include "virelo/client/layouts.h"
#include "virelo/client/script.h"

namespace virelo::tools {
namespace {

using client::ScriptAction;

std::vector<ScriptAction> readScript(const ToolArguments& args) {
  if (args.operands.size() > 1) throw UsageError("\"run\" takes one script (a file, or -)");
  const std::string path = args.operands.empty() ? "-" : args.operands[0];
  auto layout = layoutOf(args);
  std::optional<DescriptorInput> input;
  try {
    if (path == "-") {
      input.emplace(STDIN_FILENO);
    } else {
      input.emplace(path);
    }
  } catch (const std::system_error& e) {
    throw UsageError("cannot read the script " + path + ": " + e.code().message());
  }
  std::istream in(&*input);
  return client::parseScript(in, layout);
}

}  // namespace

int runScriptCommand(const ToolArguments& args) {
  std::vector<ScriptAction> actions;
  try {
    actions = readScript(args);
  } catch (const client::ScriptError& e) {
    std::cerr << "virelo: " << e.what() << "\n";
    return 2;
  }
  if (args.check) return 0;
  auto client = connectReady(args).client;
  try {
    client::runScript(*client, actions);
  } catch (const client::ScriptError& e) {
    std::cerr << "virelo: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace virelo::tools
