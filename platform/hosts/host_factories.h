// The factories of the hosts by name (host_registry.h), each putting a host together from the
// parts that the host folders supply (platform/composed_host.h). A factory exists only in builds
// with every host folder it takes parts from.
//   makeSimHost    everything simulated (platform/sim), described by VL_SIM_WORLD,
//   makeUhidHost   virtual HID devices (and the probe that decides whether they may be created)
//                  through the kernel's /dev/uhid (platform/uhid); the window server and the
//                  accessibility services simulated as on the simulated host,
//   makeLinuxHost  the Linux desktop: /dev/uhid devices for "corehid", the X server on $DISPLAY
//                  as the window server for "cgevent" (platform/x11), and snap targets from the
//                  accessibility bus (platform/atspi) with the X server's window list
//                  (linux_accessibility.h); without AT-SPI (the build leaves it out, or the
//                  statically linked service) an empty simulated accessibility finds none.
#pragma once

#include <memory>

#include "platform/host.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeSimHost();
std::unique_ptr<Host> makeUhidHost();
std::unique_ptr<Host> makeLinuxHost();

}  // namespace virelo::hosts
