// The per-user parent of the service. Runs in the foreground until SIGTERM, SIGINT or SIGHUP;
// keeps the service running (restarting it when it ends without being asked), publishes where it
// listens in $XDG_RUNTIME_DIR/virelo/session.json, and logs one line per event on standard error.
#pragma once

#include <stdexcept>

#include "session/session_options.h"

namespace virelo::session {

// A session cannot start; the message says why and, where it can, how to fix it.
class SessionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the exit status: 0 after an orderly stop, 1 when the session gives up. Throws
// SessionError (run as root), InvalidOption and ConfigError (session_settings.h), and the client
// library's errors when the session's directory or lock cannot be had.
int runSession(const SessionOptions& options);

}  // namespace virelo::session
