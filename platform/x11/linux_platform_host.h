// The factory of the "linux" host, the Linux desktop: virtual HID devices (and the probe that
// decides whether they may be created) through /dev/uhid for "corehid", and the X server on
// $DISPLAY as the window server for "cgevent". Snap targets come from the accessibility bus
// (AT-SPI 2) and the X server's window list (linux_accessibility.h); the statically linked service
// has no AT-SPI and finds none.
#pragma once

#include <memory>

#include "platform/host.h"

namespace virelo::x11 {

std::unique_ptr<Host> makeLinuxPlatformHost();

}  // namespace virelo::x11
