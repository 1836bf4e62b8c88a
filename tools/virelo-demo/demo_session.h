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

// Where the demo's input goes: the simulated host (whose trace is returned), or the X display of
// that name, with the "cgevent" backend posting there (VL_HOST=linux).
struct DemoTarget {
  std::string display;  // empty: the simulated host
  // On an X display with an accessibility bus: the frame "x,y,w,h" of a button that a slow
  // snapped move at the end of the session passes; empty: no snapping part.
  std::string snapButton;
  bool x11() const { return !display.empty(); }
};

// Starts the service (as "nobody" when run as root) with a fresh private directory and token,
// runs the script, stops the service by closing its pipe and returns what the host saw (nothing
// on an X display, whose applications tell what they received). Narrates each step on `log`.
// Throws the client library's errors.
DemoResult runDemoSession(const std::string& servicePath, const DemoTarget& target,
                          std::ostream& log);

}  // namespace virelo::tools
