// The accessibility services of builds without AT-SPI: none.
#include "platform/hosts/linux_accessibility.h"

namespace virelo::hosts {

std::shared_ptr<LinuxAccessibility> makeLinuxAccessibility(const std::string&) {
  return nullptr;
}

}  // namespace virelo::hosts
