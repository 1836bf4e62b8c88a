// The factory of the "linux" host, the Linux desktop: virtual HID devices (and the probe that
// decides whether they may be created) through /dev/uhid for "corehid", and the X server on
// $DISPLAY as the window server for "cgevent". Snap targets come from the simulated
// accessibility with an empty world, so none are found, until the host reads them from AT-SPI.
#pragma once

#include <memory>

#include "platform/host.h"

namespace virelo::x11 {

std::unique_ptr<Host> makeLinuxPlatformHost();

}  // namespace virelo::x11
