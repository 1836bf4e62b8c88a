// The factory of the "uhid" host: virtual HID devices (and the probe that decides whether they
// may be created) through the kernel's /dev/uhid, the window server and the accessibility
// interface simulated as on the simulated host.
#pragma once

#include <memory>

#include "platform/host.h"

namespace virelo::uhid {

std::unique_ptr<Host> makeUhidPlatformHost();

}  // namespace virelo::uhid
