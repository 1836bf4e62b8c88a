#include <cstdlib>
#include <string>
#include <utility>

#include "platform/composed_host.h"
#include "platform/hosts/host_factories.h"
#ifndef VIRELO_WLROOTS_WITHOUT_ACCESSIBILITY
#include "platform/hosts/linux_accessibility.h"
#endif
#include "platform/sim/sim_host_parts.h"
#include "platform/uhid/uhid_host.h"
#include "platform/wlroots/wlroots_window_server.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeWlrootsHost() {
  const char* variable = std::getenv("WAYLAND_DISPLAY");
  std::string display = variable == nullptr ? "" : variable;
  // An empty simulated core for the parts the desktop does not supply: no world, trace or
  // control.
  auto core = std::make_shared<sim::SimHost>(nlohmann::json::object(), "", "");
  HostParts parts;
  parts.codeSignature = uhid::makeUhidCodeSignature();
  parts.devices = uhid::makeUhidHidService();
  parts.windowServer = std::make_unique<wlroots::WlrootsWindowServer>(display);
#ifndef VIRELO_WLROOTS_WITHOUT_ACCESSIBILITY
  // Snap targets where sway tells the windows' places; elsewhere none.
  if (const char* sway = std::getenv("SWAYSOCK"); sway != nullptr && *sway != '\0') {
    if (auto accessibility = makeLinuxAccessibility(std::string(kSwayDisplayPrefix) + sway)) {
      parts.accessibility = [accessibility] { return accessibility->services(); };
    }
  }
#endif
  sim::addSimulatedParts(parts, std::move(core));
  return std::make_unique<ComposedHost>(std::move(parts));
}

}  // namespace virelo::hosts
