#include "platform/hosts/linux_controls.h"

#include "platform/atspi/atspi_controls.h"
#include "platform/x11/x11_window_list.h"

namespace virelo::hosts {
namespace {

class LinuxControls final : public Controls {
 public:
  LinuxControls(const std::string& display, std::chrono::milliseconds timeout)
      : windows_(display), controls_(windows_, windows_, timeout) {}

  Reach reach() override { return controls_.reach(); }
  ControlSearch find(const ControlFilter& filter) override { return controls_.find(filter); }
  std::vector<std::string> roleNames() override { return controls_.roleNames(); }

 private:
  x11::X11WindowList windows_;
  atspi::AtspiControls controls_;
};

}  // namespace

std::shared_ptr<Controls> makeAtspiLinuxControls(const std::string& display,
                                                 std::chrono::milliseconds timeout) {
  return std::make_shared<LinuxControls>(display, timeout);
}

}  // namespace virelo::hosts
