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
//                  statically linked service) an empty simulated accessibility finds none,
//   makeKdeHost    KDE Plasma on Wayland: /dev/uhid devices for "corehid", KWin on
//                  $WAYLAND_DISPLAY as the window server for "cgevent" (platform/kde); nullptr
//                  in the statically linked service, which refuses the name.
//   makeGnomeHost  a GNOME desktop: /dev/uhid devices for "corehid", the compositor's remote
//                  desktop service on the session bus as the window server for "cgevent"
//                  (platform/gnome); nullptr in the statically linked service, which lacks it.
//   makeWlrootsHost a wlroots compositor's desktop (sway): /dev/uhid devices for "corehid", the
//                  compositor on $WAYLAND_DISPLAY as the window server for "cgevent"
//                  (platform/wlroots), and, on sway ($SWAYSOCK), snap targets from the
//                  accessibility bus placed by sway's windows (linux_accessibility.h, through the
//                  same module); nullptr in the statically linked service, which has no Wayland
//                  client library.
#pragma once

#include <memory>

#include "platform/host.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeSimHost();
std::unique_ptr<Host> makeUhidHost();
std::unique_ptr<Host> makeLinuxHost();
std::unique_ptr<Host> makeKdeHost();
std::unique_ptr<Host> makeGnomeHost();
std::unique_ptr<Host> makeWlrootsHost();

}  // namespace virelo::hosts
