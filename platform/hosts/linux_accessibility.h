// The accessibility services of the Linux desktop: AT-SPI 2 for the elements, and the X server's
// window list, monitors and /proc for the windows, displays and applications. All of them are
// used only on the snap target finder's queue; building them touches neither the X server nor
// the buses, so the main thread never waits for either.
//
// The services live in a module of their own (linux_accessibility_module.cpp), because libatspi
// brings GLib, GObject and libdbus into the process: makeLinuxAccessibility() opens it when the
// Linux host is built, so that no other host loads those libraries. It gives nullptr where the
// module cannot be opened, and always in builds without it (the statically linked service, since
// libatspi exists only as a shared library, and builds without the AT-SPI host); the host then
// finds no targets.
//
// makeAtspiLinuxAccessibility() builds the same services in this process, for the module itself
// and for programs that link virelo_linux_accessibility (the tests and benchmarks).
#pragma once

#include <memory>
#include <string>

#include "platform/host.h"

namespace virelo::hosts {

class LinuxAccessibility {
 public:
  virtual ~LinuxAccessibility() = default;
  // The services; `keepAlive` holds this object.
  virtual AccessibilityServices services() = 0;
};

std::shared_ptr<LinuxAccessibility> makeLinuxAccessibility(const std::string& display);

std::shared_ptr<LinuxAccessibility> makeAtspiLinuxAccessibility(const std::string& display);

// The module's one entry point, looked up by this name: stores the services in `out`, or nullptr
// when they cannot be built. Never throws.
using LinuxAccessibilityEntry = void (*)(const char* display,
                                         std::shared_ptr<LinuxAccessibility>* out);
inline constexpr const char* kLinuxAccessibilityEntry = "virelo_linux_accessibility_make";

}  // namespace virelo::hosts
