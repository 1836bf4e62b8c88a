// The simulated host as a Host, and the frame that the hosts built on it share: the simulated
// core (world, trace, control) with its accessibility side, plus a code signature, a device
// service and a window server, each simulated or a real host's.
//
// Threads: as Host; the control thread of the simulated core serves its own requests.
#pragma once

#include <memory>

#include "platform/host.h"
#include "platform/sim/sim_accessibility.h"
#include "platform/sim/sim_host.h"

namespace virelo::sim {

class SimPlatformHost final : public Host {
 public:
  struct Parts {
    std::shared_ptr<SimHost> core;
    // Null parts are the simulated ones on `core`.
    std::unique_ptr<CodeSignature> codeSignature;
    std::unique_ptr<HidDeviceService> devices;
    std::unique_ptr<EventServices> windowServer;
  };

  explicit SimPlatformHost(Parts parts);
  ~SimPlatformHost() override;

  CodeSignature& codeSignature() override { return *codeSignature_; }
  HidDeviceService& devices() override { return *devices_; }
  EventServices& windowServer() override { return *windowServer_; }
  AccessibilityServices accessibility() override;
  void startThreads() override { core_->startControl(); }
  void stopThreads() override { core_->stopControl(); }

 private:
  std::shared_ptr<SimHost> core_;
  std::unique_ptr<CodeSignature> codeSignature_;
  std::unique_ptr<HidDeviceService> devices_;
  std::unique_ptr<EventServices> windowServer_;
  std::shared_ptr<SimAccessibility> accessibility_;
};

// The factory of the simulated host: everything simulated, described by VL_SIM_WORLD.
std::unique_ptr<Host> makeSimPlatformHost();

}  // namespace virelo::sim
