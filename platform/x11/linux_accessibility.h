// The accessibility services of the Linux desktop: AT-SPI 2 for the elements, and the X server's
// window list, monitors and /proc for the windows, displays and applications. All of them are
// used only on the snap target finder's queue; building them touches neither the X server nor
// the buses, so the main thread never waits for either.
//
// makeLinuxAccessibility() gives nullptr in builds without the AT-SPI services (the statically
// linked service, since libatspi exists only as a shared library); the host then finds no targets.
#pragma once

#include <memory>
#include <string>

#include "platform/host.h"

namespace virelo::x11 {

class LinuxAccessibility {
 public:
  virtual ~LinuxAccessibility() = default;
  // The services; `keepAlive` holds this object.
  virtual AccessibilityServices services() = 0;
};

std::shared_ptr<LinuxAccessibility> makeLinuxAccessibility(const std::string& display);

}  // namespace virelo::x11
