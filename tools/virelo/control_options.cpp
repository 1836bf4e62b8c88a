#include "tools/virelo/control_options.h"

#include "tools/virelo/tool_arguments.h"

namespace virelo::tools {

bool takeControlOption(const std::string& option, const std::function<std::string()>& value,
                       ControlOptions& options) {
  try {
    return client::takeControlWord(option, value, options);
  } catch (const client::BadControlOption& e) {
    throw UsageError(e.what());
  }
}

client::ControlQuery controlQuery(const ControlOptions& options, bool nameRequired) {
  try {
    return client::controlQueryOf(options, nameRequired);
  } catch (const client::BadControlOption& e) {
    throw UsageError(e.what());
  }
}

client::ClickOptions clickOptions(const ControlOptions& options) {
  return client::clickOptionsOf(options);
}

}  // namespace virelo::tools
