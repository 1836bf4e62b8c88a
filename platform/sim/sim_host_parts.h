// The simulated host's parts for a composed host (platform/composed_host.h): the simulated core
// (world, trace, control) with the code signature, device service, window server and
// accessibility services built on it, for every part that another host does not supply.
//
// Threads: main thread; the control thread of the core serves its own requests once the parts'
// start hook has run.
#pragma once

#include <memory>

#include "platform/composed_host.h"
#include "platform/sim/sim_host.h"

namespace virelo::sim {

// Fills every empty part of `parts` with the simulated one on `core`, in the order code
// signature, device service, window server, accessibility, and adds the core's control server to
// the thread hooks. The core joins `parts.shared`.
void addSimulatedParts(HostParts& parts, std::shared_ptr<SimHost> core);

}  // namespace virelo::sim
