#include <utility>

#include "platform/composed_host.h"
#include "platform/hosts/host_factories.h"
#include "platform/sim/sim_host_parts.h"
#include "platform/uhid/uhid_host.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeUhidHost() {
  HostParts parts;
  parts.codeSignature = uhid::makeUhidCodeSignature();
  parts.devices = uhid::makeUhidHidService();
  sim::addSimulatedParts(parts, sim::SimHost::fromEnvironment());
  return std::make_unique<ComposedHost>(std::move(parts));
}

}  // namespace virelo::hosts
