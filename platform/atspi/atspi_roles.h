// The role names that snap target discovery tests, taken from AT-SPI roles. One table maps every
// AT-SPI role that has a counterpart; docs/snap-targets.md lists it.
//
// Threads: pure functions, callable from any thread.
#pragma once

#include <atspi/atspi.h>

#include <string>

namespace virelo::atspi {

// The role name of an element with this AT-SPI role. A menu item or menu is a menu bar item when
// its parent is a menu bar (`inMenuBar`). Roles without a counterpart give "AXUnknown".
std::string roleName(AtspiRole role, bool inMenuBar);

// Whether elements of this role are top-level windows of an application.
bool isWindowRole(AtspiRole role);

}  // namespace virelo::atspi
