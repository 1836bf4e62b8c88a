// The accessibility services of a KDE Plasma or GNOME desktop on Wayland: AT-SPI's elements,
// which a Wayland application places inside its own windows only, placed on the screen
// (placed_accessibility.h) by the compositor's windows, whose owners are told from the
// applications' accessible windows (compositor_windows.h). Under plain mutter, which tells nobody
// where windows are, no targets are found.
#include <utility>

#include "platform/atspi/atspi_accessibility.h"
#include "platform/hosts/compositor_windows.h"
#include "platform/hosts/linux_accessibility.h"
#include "platform/hosts/placed_accessibility.h"
#include "platform/procfs/process_applications.h"

namespace virelo::hosts {
namespace {

// The inner accessibility's window list: never asked, as the placed hit test does its own.
class NoWindows final : public WindowList {
 public:
  std::optional<nlohmann::json> copyWindowInfo(std::uint32_t, std::uint32_t) override {
    return nlohmann::json::array();
  }
};

class CompositorServices final : public LinuxAccessibility,
                                 public std::enable_shared_from_this<CompositorServices> {
 public:
  explicit CompositorServices(CompositorWindows::Source source)
      : windows_(std::move(source)), atspi_(none_), placed_(atspi_, windows_) {}

  AccessibilityServices services() override {
    return {placed_, windows_, windows_, applications_, shared_from_this()};
  }

 private:
  CompositorWindows windows_;
  // No X server: the applications are told from /proc alone.
  procfs::ProcessApplications applications_;
  NoWindows none_;
  atspi::AtspiAccessibility atspi_;
  PlacedAccessibility placed_;
};

}  // namespace

std::shared_ptr<LinuxAccessibility> makeAtspiGnomeAccessibility() {
  return std::make_shared<CompositorServices>(gnomeShellWindows);
}

#if VIRELO_WITH_KDE_ACCESSIBILITY
std::shared_ptr<LinuxAccessibility> makeAtspiKdeAccessibility() {
  return std::make_shared<CompositorServices>(kwinWindows());
}
#endif

}  // namespace virelo::hosts
