// The hosts the service can run on, by the name that the variable VL_HOST gives:
//   unset or "sim"  the simulated host (platform/sim),
//   "uhid"          virtual HID devices through the kernel's /dev/uhid, everything else
//                   simulated,
//   "linux"         the Linux desktop: /dev/uhid devices, the X server on $DISPLAY as the window
//                   server and snap targets from the accessibility bus (AT-SPI 2).
// "uhid" exists only in builds with the uhid host, "linux" only in builds with the uhid and X11
// hosts (the build options VIRELO_HOST_*); in other builds the name is as unknown as any other.
// Each host is put together in this folder (host_factories.h).
#pragma once

#include <memory>
#include <string_view>

#include "platform/host.h"

namespace virelo {

inline constexpr const char* kHostVariable = "VL_HOST";

// The factory registered under the name; nullptr for an unknown name.
HostFactory hostFactory(std::string_view name);

// The host that VL_HOST names (the simulated one when it is unset); nullptr when it names no
// host, which the service refuses to start with.
std::unique_ptr<Host> hostFromEnvironment();

}  // namespace virelo
