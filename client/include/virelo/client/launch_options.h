// How a Launcher starts the service.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace virelo::client {

struct LaunchOptions {
  // Path of the service binary (virelo-service).
  std::string servicePath;
  // "corehid" or "cgevent"; any other name makes the service exit silently.
  std::string backend = "corehid";
  // Added to (or replacing in) the launcher's own environment for the service, e.g. the
  // simulated host's VL_SIM_WORLD, VL_SIM_TRACE and VL_SIM_CONTROL.
  std::map<std::string, std::string> environment;
  // When the launcher runs as root: the user to run the service as (the service refuses the
  // superuser). The private directory is then owned by that user and the binary is copied into
  // it, since that user may not be able to read the original. Ignored when not root.
  std::optional<std::string> user;
  // How long start() waits for the first event.
  std::chrono::milliseconds readyTimeout = std::chrono::seconds(10);
  // Parent of the private directory; empty for $TMPDIR or /tmp.
  std::string directoryParent;
};

}  // namespace virelo::client
