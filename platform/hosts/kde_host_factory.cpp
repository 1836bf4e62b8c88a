#include <cstdlib>
#include <string>
#include <utility>

#include "platform/composed_host.h"
#include "platform/hosts/host_factories.h"
#ifndef VIRELO_KDE_WITHOUT_ACCESSIBILITY
#include "platform/hosts/linux_accessibility.h"
#endif
#include "platform/kde/kde_window_server.h"
#include "platform/sim/sim_host_parts.h"
#include "platform/uhid/uhid_host.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeKdeHost() {
  const char* variable = std::getenv("WAYLAND_DISPLAY");
  // An empty simulated core for the parts the desktop does not supply: no world, trace or
  // control.
  auto core = std::make_shared<sim::SimHost>(nlohmann::json::object(), "", "");
  HostParts parts;
  parts.codeSignature = uhid::makeUhidCodeSignature();
  parts.devices = uhid::makeUhidHidService();
  parts.windowServer =
      std::make_unique<kde::KdeWindowServer>(variable == nullptr ? "" : std::string(variable));
#ifndef VIRELO_KDE_WITHOUT_ACCESSIBILITY
  // Snap targets placed by the windows that KWin tells of.
  if (auto accessibility = makeLinuxAccessibility(std::string(kKdeDisplay))) {
    parts.accessibility = [accessibility] { return accessibility->services(); };
  }
#endif
  sim::addSimulatedParts(parts, std::move(core));
  return std::make_unique<ComposedHost>(std::move(parts));
}

}  // namespace virelo::hosts
