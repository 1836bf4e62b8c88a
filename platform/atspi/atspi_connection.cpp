#include "platform/atspi/atspi_connection.h"

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <mutex>
#include <string>

#include "platform/atspi/atspi_requests.h"

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

void startLibatspi() {
  silenceGLib();
  atspi_init();
  unsubscribeFromEvents();
}

}  // namespace

AtspiConnection& AtspiConnection::instance() {
  static AtspiConnection connection;
  return connection;
}

bool AtspiConnection::ready(std::chrono::milliseconds timeout) {
  if (!started_) {
    startLibatspi();
    started_ = true;
  }
  const int ms = static_cast<int>(timeout.count());
  atspi_set_timeout(ms, ms);
  setRequestTimeout(timeout);
  return atspi_get_a11y_bus() != nullptr;
}

bool AtspiConnection::busLost() {
  DBusConnection* bus = atspi_get_a11y_bus();
  if (bus == nullptr) return true;
  // A bus that went away leaves an end of file on the connection; reading without waiting is
  // enough to see it.
  dbus_connection_read_write(bus, 0);
  return !dbus_connection_get_is_connected(bus);
}

bool AtspiConnection::reconnectIfLost() {
  if (!started_ || !busLost()) return false;
  // libatspi never connects again by itself, and what it knows of the applications and the
  // registry belongs to the bus that went away: it starts anew, on the bus that the session bus
  // now names.
  atspi_exit();
  startLibatspi();
  ++generation_;
  reconnectedAt_ = timeval{};
  gettimeofday(&*reconnectedAt_, nullptr);
  if (AtspiAccessible* desktop = atspi_get_desktop(0)) {
    renew(desktop);
    g_object_unref(desktop);
  }
  return true;
}

void AtspiConnection::renew(AtspiAccessible* accessible) {
  // libatspi keeps the application of a bus name (the registry's, and each application's) for the
  // life of the process, through atspi_exit(), with the connection of the bus it came from and
  // the accessibles it knew there. One made before the reconnection is bound to the new bus and
  // forgets its accessibles, as a new one would start; so is the accessible it was met through.
  AtspiApplication* app = accessible->parent.app;
  if (!reconnectedAt_ || app == nullptr || !timercmp(&app->time_added, &*reconnectedAt_, <)) {
    return;
  }
  DBusConnection* bus = atspi_get_a11y_bus();
  if (bus != nullptr && app->bus != bus) {
    if (app->bus != nullptr) dbus_connection_unref(app->bus);
    app->bus = dbus_connection_ref(bus);
  }
  if (app->hash != nullptr) g_hash_table_remove_all(app->hash);
  app->cache = ATSPI_CACHE_UNDEFINED;
  gettimeofday(&app->time_added, nullptr);
  atspi_accessible_clear_cache(accessible);
}

}  // namespace virelo::atspi
