// The options that name a control ("--role push-button --name OK"): the client library's control
// words (virelo/client/script.h), with a wrong value as the command line's usage error.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "virelo/client/controls.h"
#include "virelo/client/script.h"

namespace virelo::tools {

using client::ControlOptions;
using client::takesOptionalValue;

// client::takeControlWord(); throws UsageError for a bad value.
bool takeControlOption(const std::string& option, const std::function<std::string()>& value,
                       ControlOptions& options);

// client::controlQueryOf(); throws UsageError.
client::ControlQuery controlQuery(const ControlOptions& options, bool nameRequired);

// client::clickOptionsOf(): how click-on presses the control (--button, --double, --first,
// --action [NAME]).
client::ClickOptions clickOptions(const ControlOptions& options);

}  // namespace virelo::tools
