// The service's status lines in words, for the session's log.
#pragma once

#include <string>

#include "virelo/client/launcher.h"

namespace virelo::session {

// One line for a person, e.g. "not ready: no X server answers on :0 (or it lacks XTEST)".
std::string describeEvent(const client::ServiceEvent& event, const std::string& host);

// What an error code of the service means on this host.
std::string describeError(const std::string& code, const std::string& host);

}  // namespace virelo::session
