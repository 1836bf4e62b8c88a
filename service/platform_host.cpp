#include "service/platform_host.h"

#include <utility>

#include "eventsynth/cg_event_output.h"
#include "platform/hosts/host_registry.h"
#include "targets/snap_target_finder.h"

namespace virelo {

std::unique_ptr<PlatformHost> PlatformHost::fromEnvironment() {
  auto host = hostFromEnvironment();
  if (!host) return nullptr;
  return std::make_unique<PlatformHost>(std::move(host));
}

PlatformHost::~PlatformHost() {
  stopThreads();
}

std::unique_ptr<EventOutput> PlatformHost::makeEventOutput() {
  return std::make_unique<CGEventOutput>(host_->windowServer());
}

std::shared_ptr<SnapTargetSource> PlatformHost::makeSnapTargetSource(double deskScale) {
  auto ax = host_->accessibility();
  return SnapTargetFinder::create(
      {ax.accessibility, ax.windowList, ax.displays, ax.applications, std::move(ax.keepAlive)},
      deskScale);
}

}  // namespace virelo
