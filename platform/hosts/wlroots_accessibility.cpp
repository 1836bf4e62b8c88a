// The accessibility services of a sway desktop: AT-SPI's elements, which a Wayland application
// places inside its own windows only, placed on the screen by sway's tree (placed_accessibility.h),
// whose windows and outputs are also the window list and the displays of snap target discovery.
#include <utility>

#include "platform/atspi/atspi_accessibility.h"
#include "platform/hosts/linux_accessibility.h"
#include "platform/hosts/placed_accessibility.h"
#include "platform/procfs/process_applications.h"
#include "platform/wlroots/sway_windows.h"

namespace virelo::hosts {
namespace {

// The inner accessibility's window list: never asked, as the placed hit test does its own.
class NoWindows final : public WindowList {
 public:
  std::optional<nlohmann::json> copyWindowInfo(std::uint32_t, std::uint32_t) override {
    return nlohmann::json::array();
  }
};

class WlrootsServices final : public LinuxAccessibility,
                              public std::enable_shared_from_this<WlrootsServices> {
 public:
  explicit WlrootsServices(std::string swaySocket)
      : windows_(std::move(swaySocket)), atspi_(none_), placed_(atspi_, windows_) {}

  AccessibilityServices services() override {
    return {placed_, windows_, windows_, applications_, shared_from_this()};
  }

 private:
  wlroots::SwayWindowList windows_;
  // No X server: the applications are told from /proc alone.
  procfs::ProcessApplications applications_;
  NoWindows none_;
  atspi::AtspiAccessibility atspi_;
  PlacedAccessibility placed_;
};

}  // namespace

std::shared_ptr<LinuxAccessibility> makeAtspiWlrootsAccessibility(const std::string& swaySocket) {
  return std::make_shared<WlrootsServices>(swaySocket);
}

}  // namespace virelo::hosts
