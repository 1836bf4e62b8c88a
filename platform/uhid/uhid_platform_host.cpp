#include "platform/uhid/uhid_platform_host.h"

#include <utility>

#include "platform/sim/sim_platform_host.h"
#include "platform/uhid/uhid_host.h"

namespace virelo::uhid {

std::unique_ptr<Host> makeUhidPlatformHost() {
  sim::SimPlatformHost::Parts parts;
  parts.core = sim::SimHost::fromEnvironment();
  parts.codeSignature = makeUhidCodeSignature();
  parts.devices = makeUhidHidService();
  return std::make_unique<sim::SimPlatformHost>(std::move(parts));
}

}  // namespace virelo::uhid
