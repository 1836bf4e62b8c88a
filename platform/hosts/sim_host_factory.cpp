#include <utility>

#include "platform/composed_host.h"
#include "platform/hosts/host_factories.h"
#include "platform/sim/sim_host_parts.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeSimHost() {
  HostParts parts;
  sim::addSimulatedParts(parts, sim::SimHost::fromEnvironment());
  return std::make_unique<ComposedHost>(std::move(parts));
}

}  // namespace virelo::hosts
