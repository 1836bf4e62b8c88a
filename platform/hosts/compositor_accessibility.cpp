// The accessibility services of a KDE Plasma or GNOME desktop on Wayland: AT-SPI's elements placed
// on the screen by the compositor's windows (placed_atspi_services.h), whose owners are told from
// the applications' accessible windows (compositor_windows.h). Under plain mutter, which tells
// nobody where windows are, no targets are found.
#include "platform/hosts/compositor_windows.h"
#include "platform/hosts/linux_accessibility.h"
#include "platform/hosts/placed_atspi_services.h"

namespace virelo::hosts {

std::shared_ptr<LinuxAccessibility> makeAtspiGnomeAccessibility() {
  return std::make_shared<PlacedAtspiServices<CompositorWindows>>(
      CompositorWindows::Source(gnomeShellWindows));
}

#if VIRELO_WITH_KDE_ACCESSIBILITY
std::shared_ptr<LinuxAccessibility> makeAtspiKdeAccessibility() {
  return std::make_shared<PlacedAtspiServices<CompositorWindows>>(kwinWindows());
}
#endif

}  // namespace virelo::hosts
