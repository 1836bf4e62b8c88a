// Whether the user has switched the accessibility bus on: the property "IsEnabled" of the
// interface org.a11y.Status of org.a11y.Bus on the session bus. Only read, never written.
//
// Threads: one instance is used by one thread at a time (the snap target finder's queue).
#pragma once

#include <dbus/dbus.h>

#include <optional>

namespace virelo::atspi {

class AtspiStatus {
 public:
  AtspiStatus() = default;
  ~AtspiStatus();
  AtspiStatus(const AtspiStatus&) = delete;
  AtspiStatus& operator=(const AtspiStatus&) = delete;

  // True when the session bus answers within timeoutMS that the accessibility bus is enabled;
  // false when it says otherwise, does not answer or cannot be reached.
  bool enabled(int timeoutMS) { return read(timeoutMS).value_or(false); }
  // The same, std::nullopt when the session bus cannot be reached or does not answer.
  std::optional<bool> read(int timeoutMS);

 private:
  bool connect();

  DBusConnection* session_ = nullptr;
};

}  // namespace virelo::atspi
