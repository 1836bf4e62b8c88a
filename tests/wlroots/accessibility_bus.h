// A private session bus with the accessibility bus on it (at-spi-bus-launcher, switched on as a
// user's setting would be), both run as the service user, for the wlroots tests of snapping: the
// service and the GTK receiver given environment() find their elements there. Stopped with the
// object.
//
// Threads: one test thread uses an object.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/private_dir.h"

namespace virelo::test {

class AccessibilityBus {
 public:
  // Throws std::runtime_error when either bus does not come up within 10 s.
  AccessibilityBus();

  // DBUS_SESSION_BUS_ADDRESS.
  std::map<std::string, std::string> environment() const;

  // Why the buses cannot run on this machine, or "" when they can.
  static std::string missing();

 private:
  // Runs dbus-send on the session bus with these arguments; its printed reply, or nullopt when
  // it failed.
  std::optional<std::string> send(const std::vector<std::string>& arguments) const;

  PrivateDir config_;
  std::unique_ptr<ChildProcess> sessionBus_;
  std::string address_;
  std::unique_ptr<ChildProcess> launcher_;
};

}  // namespace virelo::test
