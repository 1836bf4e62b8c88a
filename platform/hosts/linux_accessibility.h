// The accessibility services of the Linux desktop: AT-SPI 2 for the elements, and the X server's
// window list, monitors and /proc for the windows, displays and applications. All of them are
// used only on the snap target finder's queue; building them touches neither the X server nor
// the buses, so the main thread never waits for either.
//
// The services live in a module of their own (targets/module/), because libatspi brings GLib,
// GObject and libdbus into the process: makeLinuxAccessibility() opens it with the one loader
// (virelo/protocol/accessibility_module_loader.h) when the Linux host is built, so that no other
// host loads those libraries. It gives nullptr where the
// module cannot be opened, and always in builds without it (the statically linked service, since
// libatspi exists only as a shared library, and builds without the AT-SPI host); the host then
// finds no targets.
//
// makeAtspiLinuxAccessibility() builds the same services in this process, for the module itself
// and for programs that link virelo_linux_accessibility (the tests and benchmarks).
//
// A "display" of the form "sway:<socket path>" names a sway desktop instead of an X display: the
// services are then those of makeAtspiWlrootsAccessibility() (wlroots_accessibility.cpp), AT-SPI's
// elements placed by sway's tree, in builds with the wlroots host (else none). "kde:" and
// "gnome:" name a KDE Plasma or GNOME desktop on Wayland: AT-SPI's elements placed by KWin's
// windows (in builds with the KDE host and sd-bus, else none) or by gnome-shell's window actors
// (compositor_accessibility.cpp).
#pragma once

#include <memory>
#include <string>
#include <string_view>

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
std::shared_ptr<LinuxAccessibility> makeAtspiWlrootsAccessibility(const std::string& swaySocket);
std::shared_ptr<LinuxAccessibility> makeAtspiKdeAccessibility();
std::shared_ptr<LinuxAccessibility> makeAtspiGnomeAccessibility();

inline constexpr std::string_view kSwayDisplayPrefix = "sway:";
inline constexpr std::string_view kKdeDisplay = "kde:";
inline constexpr std::string_view kGnomeDisplay = "gnome:";

}  // namespace virelo::hosts

// What the module's services_open() gives the service of its own release: the services as C++
// objects of that build.
struct virelo_accessibility_services {
  std::shared_ptr<virelo::hosts::LinuxAccessibility> services;
};
