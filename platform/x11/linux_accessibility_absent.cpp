// The accessibility services of builds without AT-SPI: none.
#include "platform/x11/linux_accessibility.h"

namespace virelo::x11 {

std::shared_ptr<LinuxAccessibility> makeLinuxAccessibility(const std::string&) {
  return nullptr;
}

}  // namespace virelo::x11
