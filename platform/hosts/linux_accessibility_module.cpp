// The module of the Linux desktop's accessibility services, opened by the service only when the
// Linux host is chosen. Its one exported symbol builds the services; everything else, the static
// libraries it is linked from included, stays hidden inside it.
#include "platform/hosts/linux_accessibility.h"
#include "platform/hosts/linux_controls.h"

extern "C" __attribute__((visibility("default"))) void virelo_linux_accessibility_make(
    const char* display, std::shared_ptr<virelo::hosts::LinuxAccessibility>* out) noexcept {
  try {
    *out = virelo::hosts::makeAtspiLinuxAccessibility(display);
  } catch (...) {
    out->reset();
  }
}

extern "C" __attribute__((visibility("default"))) void virelo_linux_controls_make(
    const char* display, int timeoutMS, std::shared_ptr<virelo::Controls>* out) noexcept {
  try {
    *out = virelo::hosts::makeAtspiLinuxControls(display, std::chrono::milliseconds(timeoutMS));
  } catch (...) {
    out->reset();
  }
}
