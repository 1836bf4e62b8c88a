#include "platform/x11/linux_platform_host.h"

#include <cstdlib>
#include <utility>

#include "platform/sim/sim_platform_host.h"
#include "platform/uhid/uhid_host.h"
#include "platform/x11/x11_window_server.h"

namespace virelo::x11 {

std::unique_ptr<Host> makeLinuxPlatformHost() {
  const char* display = std::getenv("DISPLAY");
  sim::SimPlatformHost::Parts parts;
  parts.core = std::make_shared<sim::SimHost>(nlohmann::json::object(), "", "");
  parts.codeSignature = uhid::makeUhidCodeSignature();
  parts.devices = uhid::makeUhidHidService();
  parts.windowServer = std::make_unique<X11WindowServer>(display == nullptr ? "" : display);
  return std::make_unique<sim::SimPlatformHost>(std::move(parts));
}

}  // namespace virelo::x11
