#include "service/platform_host.h"

#include <cstdlib>
#include <string_view>
#include <utility>

#include "eventsynth/cg_event_output.h"
#include "platform/sim/sim_code_signature.h"
#include "platform/sim/sim_hid_service.h"
#include "platform/sim/sim_window_server.h"
#include "platform/uhid/uhid_host.h"
#include "targets/snap_target_finder.h"

namespace virelo {

std::unique_ptr<PlatformHost> PlatformHost::fromEnvironment() {
  auto host = std::make_unique<PlatformHost>();
  host->sim_ = sim::SimHost::fromEnvironment();
  const char* choice = std::getenv("VL_HOST");
  if (choice != nullptr && std::string_view(choice) == "uhid") {
    // Real devices through the kernel: chosen only explicitly, so that nothing is ever injected
    // into a developer's session by accident.
    host->codeSignature_ = uhid::makeUhidCodeSignature();
    host->devices_ = uhid::makeUhidHidService();
  } else {
    host->codeSignature_ = std::make_unique<sim::SimCodeSignature>(*host->sim_);
    host->devices_ = std::make_unique<sim::SimHidService>(*host->sim_);
  }
  host->windowServer_ = std::make_unique<sim::SimWindowServer>(*host->sim_);
  host->accessibility_ = std::make_shared<sim::SimAccessibility>(*host->sim_);
  return host;
}

PlatformHost::~PlatformHost() {
  stopThreads();
}

std::unique_ptr<EventOutput> PlatformHost::makeEventOutput() {
  return std::make_unique<CGEventOutput>(*windowServer_);
}

std::shared_ptr<SnapTargetSource> PlatformHost::makeSnapTargetSource() {
  auto& ax = *accessibility_;
  auto keepAlive = std::make_shared<
      std::pair<std::shared_ptr<sim::SimHost>, std::shared_ptr<sim::SimAccessibility>>>(
      sim_, accessibility_);
  return SnapTargetFinder::create({ax, ax, ax, ax, std::move(keepAlive)});
}

void PlatformHost::startThreads() {
  if (sim_) sim_->startControl();
}

void PlatformHost::stopThreads() {
  if (sim_) sim_->stopControl();
}

}  // namespace virelo
