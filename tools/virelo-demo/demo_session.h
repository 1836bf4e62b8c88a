// The demonstration: a service on the simulated host, driven by a short scripted client session.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace virelo::tools {

struct DemoResult {
  std::string readyEvent;             // the service's first status line
  std::vector<nlohmann::json> trace;  // everything that reached the simulated host
  int exitStatus = -1;                // the service's exit status after the orderly stop
};

// Starts the service (as "nobody" when run as root) with a fresh private directory and token,
// runs the script, stops the service by closing its pipe and returns what the host saw. Narrates
// each step on `log`. Throws the client library's errors.
DemoResult runDemoSession(const std::string& servicePath, std::ostream& log);

}  // namespace virelo::tools
