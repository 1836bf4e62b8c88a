// The platform services the service runs on, chosen at start. The simulated host is the default;
// VL_HOST=uhid puts the virtual HID devices (and the probe that decides whether they may be
// created) on the kernel's /dev/uhid instead. Nothing here starts a thread until startThreads(),
// which runs after the signal mask is fixed.
// Main thread only.
#pragma once

#include <memory>

#include "platform/code_signature.h"
#include "platform/sim/sim_host.h"
#include "platform/virtual_hid.h"

namespace virelo {

class PlatformHost {
 public:
  static std::unique_ptr<PlatformHost> fromEnvironment();

  CodeSignature& codeSignature() { return *codeSignature_; }
  HidDeviceService& devices() { return *devices_; }

  void startThreads();
  void stopThreads();

 private:
  std::unique_ptr<sim::SimHost> sim_;
  std::unique_ptr<CodeSignature> codeSignature_;
  std::unique_ptr<HidDeviceService> devices_;
};

}  // namespace virelo
