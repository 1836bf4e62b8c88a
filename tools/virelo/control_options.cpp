#include "tools/virelo/control_options.h"

#include <cstdlib>

#include "tools/virelo/tool_arguments.h"
#include "virelo/client/keys.h"

namespace virelo::tools {
namespace {

// The longest wait-for: a day.
constexpr double kLongestWaitS = 86'400;

double secondsOperand(const std::string& text, const std::string& option) {
  char* end = nullptr;
  double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end == nullptr || *end != '\0' || !(seconds >= 0) ||
      seconds > kLongestWaitS) {
    throw UsageError(option + " needs seconds from 0 to 86400, not \"" + text + "\"");
  }
  return seconds;
}

}  // namespace

bool takeControlOption(const std::string& option, const std::function<std::string()>& value,
                       ControlOptions& options) {
  if (option == "--role") {
    options.role = value();
  } else if (option == "--name" || option == "--name-contains" || option == "--name-regex") {
    if (options.nameOption && *options.nameOption != option) {
      throw UsageError(option + " and " + *options.nameOption + " exclude each other");
    }
    options.nameOption = option;
    options.name = value();
  } else if (option == "--app") {
    options.application = value();
  } else if (option == "--all") {
    options.all = true;
  } else if (option == "--button") {
    const std::string name = value();
    auto bit = client::buttonBit(name);
    if (!bit) throw UsageError("unknown button \"" + name + "\" (left, middle, right or 1, 2, 3)");
    options.button = *bit;
  } else if (option == "--double") {
    options.twice = true;
  } else if (option == "--first") {
    options.first = true;
  } else if (option == "--gone") {
    options.gone = true;
  } else if (option == "--timeout") {
    options.timeoutS = secondsOperand(value(), option);
  } else if (option == "--list-roles") {
    options.listRoles = true;
  } else {
    return false;
  }
  options.given = true;
  return true;
}

client::ControlQuery controlQuery(const ControlOptions& options, bool nameRequired) {
  client::ControlQuery query;
  query.role = options.role;
  query.application = options.application;
  query.all = options.all;
  if (!options.nameOption) {
    if (nameRequired) throw UsageError("name the control: --name, --name-contains or --name-regex");
    return query;
  }
  if (*options.nameOption == "--name") {
    query.name = client::NameMatch::exactly(options.name);
  } else if (*options.nameOption == "--name-contains") {
    query.name = client::NameMatch::containing(options.name);
  } else {
    try {
      query.name = client::NameMatch::matching(options.name);
    } catch (const client::MalformedExpression& e) {
      throw UsageError("--name-regex \"" + options.name + "\": " + e.what());
    }
  }
  return query;
}

}  // namespace virelo::tools
