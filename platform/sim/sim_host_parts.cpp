#include "platform/sim/sim_host_parts.h"

#include <utility>

#include "platform/sim/sim_accessibility.h"
#include "platform/sim/sim_code_signature.h"
#include "platform/sim/sim_hid_service.h"
#include "platform/sim/sim_window_server.h"

namespace virelo::sim {

void addSimulatedParts(HostParts& parts, std::shared_ptr<SimHost> core) {
  parts.shared.push_back(core);
  if (!parts.codeSignature) parts.codeSignature = std::make_unique<SimCodeSignature>(*core);
  if (!parts.devices) parts.devices = std::make_unique<SimHidService>(*core);
  if (!parts.windowServer) parts.windowServer = std::make_unique<SimWindowServer>(*core);
  if (!parts.accessibility) {
    parts.accessibility = [core, ax = std::make_shared<SimAccessibility>(*core)] {
      auto keepAlive =
          std::make_shared<std::pair<std::shared_ptr<SimHost>, std::shared_ptr<SimAccessibility>>>(
              core, ax);
      return AccessibilityServices{*ax, *ax, *ax, *ax, std::move(keepAlive)};
    };
  }
  // After the hooks of the other parts on start, before them on stop.
  parts.startThreads = [other = std::move(parts.startThreads), host = core.get()] {
    if (other) other();
    host->startControl();
  };
  parts.stopThreads = [other = std::move(parts.stopThreads), host = core.get()] {
    host->stopControl();
    if (other) other();
  };
}

}  // namespace virelo::sim
