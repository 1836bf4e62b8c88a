// The service's side of the host it runs on (platform/hosts/host_registry.h): the host that
// VL_HOST names, and what the service builds on it, the event-synthesis backend on its window
// server and the snap target search on its accessibility services.
//
// Lifetime: the event output borrows from this object, which must outlive it; the snap target
// source keeps the host's accessibility side alive by itself, so that a search it abandoned at
// the stop may finish after this object is gone.
// Threads: main thread only.
#pragma once

#include <memory>

#include "eventsynth/event_output.h"
#include "platform/host.h"
#include "snapping/snap_target_source.h"

namespace virelo {

class PlatformHost {
 public:
  // nullptr when VL_HOST names no host.
  static std::unique_ptr<PlatformHost> fromEnvironment();
  explicit PlatformHost(std::unique_ptr<Host> host) : host_(std::move(host)) {}
  ~PlatformHost();

  CodeSignature& codeSignature() { return host_->codeSignature(); }
  HidDeviceService& devices() { return host_->devices(); }
  // The event-synthesis backend on this host's window server.
  std::unique_ptr<EventOutput> makeEventOutput();
  // The desk's scale, as the window server tells it (pixels per logical point).
  double deskScale() { return host_->windowServer().deskScale(); }
  // The accessibility search that finds snap targets, on a desk of that scale.
  std::shared_ptr<SnapTargetSource> makeSnapTargetSource(double deskScale);

  void startThreads() { host_->startThreads(); }
  void stopThreads() { host_->stopThreads(); }

 private:
  std::unique_ptr<Host> host_;
};

}  // namespace virelo
