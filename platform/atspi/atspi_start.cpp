#include "platform/atspi/atspi_start.h"

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <mutex>
#include <string>

namespace virelo::atspi {
namespace {

// GLib and libatspi report troubles on standard error, which the service keeps for nothing.
void silenceGLib() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    g_log_set_writer_func(
        [](GLogLevelFlags, const GLogField*, gsize, gpointer) { return G_LOG_WRITER_HANDLED; },
        nullptr, nullptr);
  });
}

// libatspi subscribes its connection to the object events and cache updates of every application
// (children added and removed, properties and states changed), for the caches of event listeners.
// This process registers none and runs no GLib main loop, so libatspi reads none of those caches
// (but each accessible's interfaces, which never change); yet every such signal that reaches it
// makes accessibles that it keeps in its table of the application until the application leaves.
// While a screen reader listens, an application that replaces its widgets would so grow this
// process without bound, and have it read thousands of signals on each request. The
// subscriptions are dropped right after libatspi starts; the one to bus names changing owner
// stays, for through it libatspi learns that an application left and frees what it kept of it.
void unsubscribeFromEvents() {
  DBusConnection* bus = atspi_get_a11y_bus();
  if (bus == nullptr) return;
  static constexpr const char* kSignals[][2] = {
      {ATSPI_DBUS_INTERFACE_CACHE, "AddAccessible"},
      {ATSPI_DBUS_INTERFACE_CACHE, "RemoveAccessible"},
      {ATSPI_DBUS_INTERFACE_EVENT_OBJECT, "ChildrenChanged"},
      {ATSPI_DBUS_INTERFACE_EVENT_OBJECT, "PropertyChange"},
      {ATSPI_DBUS_INTERFACE_EVENT_OBJECT, "StateChanged"},
  };
  for (const auto& [interface, member] : kSignals) {
    std::string rule =
        std::string("type='signal',interface='") + interface + "',member='" + member + "'";
    // Without an error to fill, the call waits for no reply.
    dbus_bus_remove_match(bus, rule.c_str(), nullptr);
  }
  dbus_connection_flush(bus);
}

}  // namespace

void startLibatspi() {
  silenceGLib();
  atspi_init();
  unsubscribeFromEvents();
}

}  // namespace virelo::atspi
