// The desktop's controls from the accessibility module (virelo-linux-accessibility.so), found and
// opened by the one loader (virelo/protocol/accessibility_module_loader.h) and read through its C
// table: no C++ object crosses between the module and this library, and a module of another
// version is refused.
//
// Threads: the controls are used by one thread at a time, as platform/controls.h says.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/controls.h"
#include "virelo/client/session.h"

namespace virelo::client {

// The controls of the X display or the Wayland desktop ("kde:", "gnome:"), read through the
// module; throws ControlsUnavailable when no
// module can be used or it cannot build them. find() throws std::invalid_argument for a role the
// module does not know, and ControlsUnavailable when the module fails.
std::shared_ptr<Controls> openControls(const EnvironmentLookup& environment,
                                       const std::string& display,
                                       std::chrono::milliseconds timeout);

}  // namespace virelo::client
