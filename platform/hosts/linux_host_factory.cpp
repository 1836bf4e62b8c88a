#include <cstdlib>
#include <string>
#include <utility>

#include "platform/composed_host.h"
#include "platform/hosts/host_factories.h"
#include "platform/hosts/linux_accessibility.h"
#include "platform/sim/sim_host_parts.h"
#include "platform/uhid/uhid_host.h"
#include "platform/x11/x11_window_server.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeLinuxHost() {
  const char* variable = std::getenv("DISPLAY");
  std::string display = variable == nullptr ? "" : variable;
  // An empty simulated core for the parts the desktop does not supply: no world, trace or
  // control.
  auto core = std::make_shared<sim::SimHost>(nlohmann::json::object(), "", "");
  HostParts parts;
  parts.codeSignature = uhid::makeUhidCodeSignature();
  parts.devices = uhid::makeUhidHidService();
  parts.windowServer = std::make_unique<x11::X11WindowServer>(display);
  if (auto accessibility = makeLinuxAccessibility(display)) {
    parts.accessibility = [accessibility] { return accessibility->services(); };
  }
  sim::addSimulatedParts(parts, std::move(core));
  return std::make_unique<ComposedHost>(std::move(parts));
}

}  // namespace virelo::hosts
