#include "tools/virelo/controls_commands.h"

#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>

#include "tools/virelo/connection.h"
#include "tools/virelo/control_lines.h"

namespace virelo::tools {
namespace {

using client::Control;

void printText(const std::vector<Control>& controls) {
  for (const auto& c : controls) std::cout << controlLine(c) << "\n";
}

nlohmann::json jsonOf(const Control& c) {
  return {{"role", c.role},
          {"name", c.name},
          {"application", c.application},
          {"pid", c.pid},
          {"x", c.x},
          {"y", c.y},
          {"width", c.width},
          {"height", c.height},
          {"enabled", c.enabled},
          {"visible", c.visible},
          {"focused", c.focused},
          {"focusable", c.focusable},
          {"editable", c.editable},
          {"covered", c.covered},
          {"offscreen", c.offScreen}};
}

void warnUnanswering(const std::vector<std::string>& unanswering) {
  for (const auto& name : unanswering) {
    std::cerr << "virelo: skipped " << client::escapedText(name) << ": it did not answer within "
              << client::kControlsTimeout.count() / 1000.0 << " s\n";
  }
}

int find(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("find takes options only");
  client::Desktop desktop = processDesktop();
  if (args.controls.listRoles) {
    for (const auto& role : desktop.roleNames()) std::cout << role << "\n";
    return 0;
  }
  const client::ControlQuery query = controlQuery(args.controls, false);
  client::FoundControls found = desktop.find(query);
  warnUnanswering(found.unanswering);
  if (args.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& c : found.controls) list.push_back(jsonOf(c));
    std::cout << list.dump(2) << "\n";
  } else {
    printText(found.controls);
  }
  if (found.controls.empty()) {
    std::cerr << "virelo: nothing matches: " << query.describe() << "\n";
    return 1;
  }
  return 0;
}

int waitFor(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("wait-for takes options only");
  client::Desktop desktop = processDesktop();
  const client::ControlQuery query = controlQuery(args.controls, true);
  const auto timeout =
      std::chrono::milliseconds(static_cast<long long>(args.controls.timeoutS * 1000));
  auto found = client::waitFor(desktop, query, args.controls.gone, timeout);
  if (found) printText({*found});
  return 0;
}

// click-on and focus-on: the desktop is checked before the service is asked.
int act(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError(args.command + " takes options only");
  client::Desktop desktop = processDesktop();
  const client::ControlQuery query = controlQuery(args.controls, true);
  auto client = connectReady(args).client;
  if (args.command == "focus-on") {
    client::focusOn(*client, desktop, query, args.controls.first);
  } else {
    client::ClickOptions options;
    options.button = args.controls.button;
    options.twice = args.controls.twice;
    options.first = args.controls.first;
    client::clickOn(*client, desktop, query, options);
  }
  return 0;
}

}  // namespace

bool isControlsCommand(const std::string& command) {
  return command == "find" || command == "wait-for" || command == "click-on" ||
         command == "focus-on";
}

client::Desktop processDesktop() {
  return client::Desktop(std::getenv);
}

int runControlsCommand(const ToolArguments& args) {
  try {
    if (args.command == "find") return find(args);
    if (args.command == "wait-for") return waitFor(args);
    return act(args);
  } catch (const client::UnknownRole& e) {
    throw UsageError(std::string(e.what()) + " (virelo find --list-roles lists them)");
  }
}

void focusInto(client::Client& client, const std::string& name, const ControlOptions& options) {
  if (options.nameOption)
    throw UsageError("--into names the control; leave out " + *options.nameOption);
  client::Desktop desktop = processDesktop();
  client::ControlQuery query = controlQuery(options, false);
  query.name = client::NameMatch::exactly(name);
  query.editable = true;
  client::focusOn(client, desktop, query, options.first);
}

}  // namespace virelo::tools
