// The desktop's controls from the accessibility module (virelo-linux-accessibility.so), which is
// opened once and stays open: GLib cannot be unloaded.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/controls.h"
#include "virelo/client/session.h"

namespace virelo::client {

// The accessibility module's handle, and its path. The module is $VIRELO_ACCESSIBILITY_MODULE when
// set, else the one beside the program, else the one installed relative to it, else the one
// installed with this library. Throws ControlsUnavailable when none can be opened.
struct AccessibilityModule {
  void* handle;
  std::string path;
};
AccessibilityModule openAccessibilityModule(const EnvironmentLookup& environment);

// The controls of the X display, read through the module; throws ControlsUnavailable when no
// module can be opened or it cannot build them.
std::shared_ptr<Controls> openControls(const EnvironmentLookup& environment,
                                       const std::string& display,
                                       std::chrono::milliseconds timeout);

}  // namespace virelo::client
