// The controls of the Linux desktop (controls.h): AT-SPI 2 for the accessibility trees and the X
// server's window list for where windows stand. Built in the accessibility module, as the
// service's accessibility services are (linux_accessibility.h), so that programs reach them
// without linking libatspi: the client library opens the module and reads them through its C
// table (virelo/protocol/accessibility_module.h). makeAtspiLinuxControls() builds them in this
// process, for the module and for the tests.
//
// A Wayland desktop, named as the accessibility services name it (linux_accessibility.h: "kde:",
// "gnome:"), has its controls placed by the compositor's windows instead (compositor_windows.h,
// AtspiControls::Positions::inWindow); where the compositor tells none (plain mutter, KWin not
// answering), find() throws ControlsUnplaceable saying so.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/controls.h"

namespace virelo::hosts {

// `display` is an X display name (":1") or a Wayland desktop's; every request to an application may
// take `timeout`.
std::shared_ptr<Controls> makeAtspiLinuxControls(const std::string& display,
                                                 std::chrono::milliseconds timeout);

}  // namespace virelo::hosts
