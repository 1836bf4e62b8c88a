// The platform services the service runs on, chosen at start. The simulated host is the default;
// VL_HOST=uhid puts the virtual HID devices (and the probe that decides whether they may be
// created) on the kernel's /dev/uhid instead, while the window server and the accessibility
// interface stay simulated. Nothing here starts a thread until startThreads(), which runs after
// the signal mask is fixed.
//
// Lifetime: the event output borrows from this object, which must outlive it. The snap target
// source shares the simulated host and its accessibility side, so that a search it abandoned at
// the stop may finish after this object is gone.
// Threads: main thread only; the simulated host's control thread serves its own requests.
#pragma once

#include <memory>

#include "eventsynth/event_output.h"
#include "platform/code_signature.h"
#include "platform/event_services.h"
#include "platform/sim/sim_accessibility.h"
#include "platform/sim/sim_host.h"
#include "platform/virtual_hid.h"
#include "snapping/snap_target_source.h"

namespace virelo {

class PlatformHost {
 public:
  static std::unique_ptr<PlatformHost> fromEnvironment();
  ~PlatformHost();

  CodeSignature& codeSignature() { return *codeSignature_; }
  HidDeviceService& devices() { return *devices_; }
  // The event-synthesis backend on this host's window server.
  std::unique_ptr<EventOutput> makeEventOutput();
  // The accessibility search that finds snap targets.
  std::shared_ptr<SnapTargetSource> makeSnapTargetSource();

  void startThreads();
  void stopThreads();

 private:
  std::shared_ptr<sim::SimHost> sim_;
  std::unique_ptr<CodeSignature> codeSignature_;
  std::unique_ptr<HidDeviceService> devices_;
  std::unique_ptr<EventServices> windowServer_;
  std::shared_ptr<sim::SimAccessibility> accessibility_;
};

}  // namespace virelo
