// The accessibility services of a sway desktop: AT-SPI's elements placed on the screen by sway's
// tree (placed_atspi_services.h), whose windows and outputs are also the window list and the
// displays of snap target discovery.
#include <string>

#include "platform/hosts/linux_accessibility.h"
#include "platform/hosts/placed_atspi_services.h"
#include "platform/wlroots/sway_windows.h"

namespace virelo::hosts {

std::shared_ptr<LinuxAccessibility> makeAtspiWlrootsAccessibility(const std::string& swaySocket) {
  return std::make_shared<PlacedAtspiServices<wlroots::SwayWindowList>>(swaySocket);
}

}  // namespace virelo::hosts
