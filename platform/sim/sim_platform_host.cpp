#include "platform/sim/sim_platform_host.h"

#include <utility>

#include "platform/sim/sim_code_signature.h"
#include "platform/sim/sim_hid_service.h"
#include "platform/sim/sim_window_server.h"

namespace virelo::sim {

SimPlatformHost::SimPlatformHost(Parts parts)
    : core_(std::move(parts.core)),
      codeSignature_(std::move(parts.codeSignature)),
      devices_(std::move(parts.devices)),
      windowServer_(std::move(parts.windowServer)) {
  if (!codeSignature_) codeSignature_ = std::make_unique<SimCodeSignature>(*core_);
  if (!devices_) devices_ = std::make_unique<SimHidService>(*core_);
  if (!windowServer_) windowServer_ = std::make_unique<SimWindowServer>(*core_);
  accessibility_ = std::make_shared<SimAccessibility>(*core_);
}

SimPlatformHost::~SimPlatformHost() {
  stopThreads();
}

AccessibilityServices SimPlatformHost::accessibility() {
  auto& ax = *accessibility_;
  auto keepAlive =
      std::make_shared<std::pair<std::shared_ptr<SimHost>, std::shared_ptr<SimAccessibility>>>(
          core_, accessibility_);
  return {ax, ax, ax, ax, std::move(keepAlive)};
}

std::unique_ptr<Host> makeSimPlatformHost() {
  SimPlatformHost::Parts parts;
  parts.core = SimHost::fromEnvironment();
  return std::make_unique<SimPlatformHost>(std::move(parts));
}

}  // namespace virelo::sim
