#include "service/platform_host.h"

#include "platform/sim/sim_code_signature.h"
#include "platform/sim/sim_hid_service.h"

namespace virelo {

std::unique_ptr<PlatformHost> PlatformHost::fromEnvironment() {
  auto host = std::make_unique<PlatformHost>();
  host->sim_ = sim::SimHost::fromEnvironment();
  host->codeSignature_ = std::make_unique<sim::SimCodeSignature>(*host->sim_);
  host->devices_ = std::make_unique<sim::SimHidService>(*host->sim_);
  return host;
}

void PlatformHost::startThreads() {
  if (sim_) sim_->startControl();
}

void PlatformHost::stopThreads() {
  if (sim_) sim_->stopControl();
}

}  // namespace virelo
