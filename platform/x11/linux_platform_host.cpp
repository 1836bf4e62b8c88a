#include "platform/x11/linux_platform_host.h"

#include <cstdlib>
#include <utility>

#include "platform/sim/sim_platform_host.h"
#include "platform/uhid/uhid_host.h"
#include "platform/x11/linux_accessibility.h"
#include "platform/x11/x11_window_server.h"

namespace virelo::x11 {
namespace {

// The frame of the simulated host with the real devices and window server, and the real
// accessibility services where this build has them.
class LinuxPlatformHost final : public Host {
 public:
  LinuxPlatformHost(std::unique_ptr<Host> frame, std::shared_ptr<LinuxAccessibility> accessibility)
      : frame_(std::move(frame)), accessibility_(std::move(accessibility)) {}

  CodeSignature& codeSignature() override { return frame_->codeSignature(); }
  HidDeviceService& devices() override { return frame_->devices(); }
  EventServices& windowServer() override { return frame_->windowServer(); }
  AccessibilityServices accessibility() override {
    return accessibility_ ? accessibility_->services() : frame_->accessibility();
  }
  void startThreads() override { frame_->startThreads(); }
  void stopThreads() override { frame_->stopThreads(); }

 private:
  std::unique_ptr<Host> frame_;
  std::shared_ptr<LinuxAccessibility> accessibility_;
};

}  // namespace

std::unique_ptr<Host> makeLinuxPlatformHost() {
  const char* variable = std::getenv("DISPLAY");
  std::string display = variable == nullptr ? "" : variable;
  sim::SimPlatformHost::Parts parts;
  parts.core = std::make_shared<sim::SimHost>(nlohmann::json::object(), "", "");
  parts.codeSignature = uhid::makeUhidCodeSignature();
  parts.devices = uhid::makeUhidHidService();
  parts.windowServer = std::make_unique<X11WindowServer>(display);
  return std::make_unique<LinuxPlatformHost>(
      std::make_unique<sim::SimPlatformHost>(std::move(parts)), makeLinuxAccessibility(display));
}

}  // namespace virelo::x11
