#include "tools/virelo/controls_commands.h"

#include <unistd.h>

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
          {"offscreen", c.offScreen},
          {"placed", c.placed}};
}

nlohmann::json withContents(const Control& c) {
  nlohmann::json json = jsonOf(c);
  if (c.text) json["text"] = *c.text;
  if (c.value) {
    json["value"] = {{"current", c.value->current},
                     {"minimum", c.value->minimum},
                     {"maximum", c.value->maximum}};
  }
  return json;
}

void warnUnanswering(const std::vector<std::string>& unanswering) {
  for (const auto& name : unanswering) {
    std::cerr << "virelo: skipped " << client::escapedText(name) << ": it did not answer within "
              << client::kControlsTimeout.count() / 1000.0 << " s\n";
  }
}

int findControls(const ToolArguments& args) {
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
    for (const auto& c : found.controls) list.push_back(withContents(c));
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

int waitForControl(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("wait-for takes options only");
  client::Desktop desktop = processDesktop();
  // A control that shows a text needs no name.
  const client::ControlQuery query = controlQuery(args.controls, !args.controls.textOption);
  const auto timeout =
      std::chrono::milliseconds(static_cast<long long>(args.controls.timeoutS * 1000));
  auto found = client::waitFor(desktop, query, args.controls.gone, timeout);
  if (found) printText({*found});
  return 0;
}

// How click-on pressed it: "clicked with the pointer: push button \"OK\" of app at ...".
std::string clickedLine(const client::Clicked& clicked) {
  const std::string how = clicked.by == client::ClickBy::pointer
                              ? "with the pointer"
                              : "with its action \"" + client::escapedText(clicked.action) + "\"";
  return "clicked " + how + ": " + clicked.control.describe();
}

// click-on --action: the control's own action, with no pointer and so no service.
int actWithoutService(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError(args.command + " takes options only");
  client::Desktop desktop = processDesktop();
  const client::Clicked clicked = client::actOn(desktop, controlQuery(args.controls, true),
                                                args.controls.first, args.controls.action);
  std::cout << clickedLine(clicked) << "\n";
  return 0;
}

int act(const ToolArguments& args) {
  if (args.controls.byAction) return actWithoutService(args);
  if (!args.operands.empty()) throw UsageError(args.command + " takes options only");
  client::Desktop desktop = processDesktop();
  const client::ControlQuery query = controlQuery(args.controls, true);
  auto client = connectReady(args).client;
  if (args.command == "focus-on") {
    client::focusOn(*client, desktop, query, args.controls.first);
  } else {
    const client::Clicked clicked =
        client::clickOn(*client, desktop, query, clickOptions(args.controls));
    std::cout << clickedLine(clicked) << "\n";
  }
  return 0;
}

// "get-text": the text as the application holds it, for a script to compare; on a terminal
// escaped as the other lines are, so that none reaches it as a control sequence.
int getText(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("get-text takes options only");
  client::Desktop desktop = processDesktop();
  const std::string text =
      client::readText(desktop, controlQuery(args.controls, false), args.controls.first);
  std::cout << (::isatty(STDOUT_FILENO) ? client::escapedText(text) : text) << "\n";
  return 0;
}

// Runs the verb, with an unknown role as a wrong command line.
int withRoleNames(int (*verb)(const ToolArguments&), const ToolArguments& args) {
  try {
    return verb(args);
  } catch (const client::UnknownRole& e) {
    throw UsageError(std::string(e.what()) + " (virelo find --list-roles lists them)");
  }
}

}  // namespace

int runFind(const ToolArguments& args) {
  return withRoleNames(findControls, args);
}

int runWaitFor(const ToolArguments& args) {
  return withRoleNames(waitForControl, args);
}

int runActOn(const ToolArguments& args) {
  return withRoleNames(act, args);
}

int runGetText(const ToolArguments& args) {
  return withRoleNames(getText, args);
}

void checkClickOn(const ToolArguments& args) {
  if (!args.controls.byAction) return;
  for (const auto& word : args.verbWords) {
    if (word == "--button" || word == "--double") {
      throw UsageError("--action presses the control once, with no pointer: leave out " + word);
    }
  }
}

client::Desktop processDesktop() {
  return client::Desktop(std::getenv);
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
