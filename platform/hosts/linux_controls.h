// The controls of the Linux desktop (controls.h): AT-SPI 2 for the accessibility trees and the X
// server's window list for where windows stand. Built in the accessibility module, as the
// service's accessibility services are (linux_accessibility.h), so that programs reach them
// without linking libatspi: the client library opens the module and calls its entry point
// kLinuxControlsEntry. makeAtspiLinuxControls() builds them in this process, for the module and
// for the tests.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/controls.h"

namespace virelo::hosts {

// `display` is an X display name (":1"); every request to an application may take `timeout`.
std::shared_ptr<Controls> makeAtspiLinuxControls(const std::string& display,
                                                 std::chrono::milliseconds timeout);

// The module's entry point, looked up by this name: stores the controls in `out`, or nullptr when
// they cannot be built. Never throws.
using LinuxControlsEntry = void (*)(const char* display, int timeoutMS,
                                    std::shared_ptr<Controls>* out);
inline constexpr const char* kLinuxControlsEntry = "virelo_linux_controls_make";

}  // namespace virelo::hosts
