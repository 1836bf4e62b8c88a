// What the one who starts a session asks of it: the command line's choices, the service binary
// and the probes that the automatic backend and host consult. Unset choices come from the
// configuration file, then the defaults (session_settings.h).
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "session/backend_choice.h"

namespace virelo::session {

// A choice that is none of its allowed values; the message names the option and the values.
class InvalidOption : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

struct SessionOptions {
  std::optional<std::string> host;     // a host of this build (host_names.h)
  std::optional<std::string> backend;  // "corehid", "cgevent" or "auto"
  std::string service;                 // the service binary to run
  BackendProbes probes;                // what this machine offers, for the backend "auto"
  // Whether a name has an owner on the session bus (host_choice.h's sessionBusHasOwner), for the
  // host of a Wayland session when neither the options nor the file name one; unset: not asked.
  std::function<std::optional<bool>(const char*)> busHasOwner;
};

}  // namespace virelo::session
