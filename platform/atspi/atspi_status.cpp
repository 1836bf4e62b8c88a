#include "platform/atspi/atspi_status.h"

namespace virelo::atspi {
namespace {

bool booleanOfVariant(DBusMessage* reply) {
  DBusMessageIter top;
  if (!dbus_message_iter_init(reply, &top)) return false;
  if (dbus_message_iter_get_arg_type(&top) != DBUS_TYPE_VARIANT) return false;
  DBusMessageIter inner;
  dbus_message_iter_recurse(&top, &inner);
  if (dbus_message_iter_get_arg_type(&inner) != DBUS_TYPE_BOOLEAN) return false;
  dbus_bool_t value = FALSE;
  dbus_message_iter_get_basic(&inner, &value);
  return value != FALSE;
}

}  // namespace

AtspiStatus::~AtspiStatus() {
  if (session_ == nullptr) return;
  dbus_connection_close(session_);
  dbus_connection_unref(session_);
}

bool AtspiStatus::connect() {
  if (session_ != nullptr && dbus_connection_get_is_connected(session_)) return true;
  if (session_ != nullptr) {
    dbus_connection_unref(session_);
    session_ = nullptr;
  }
  DBusError error;
  dbus_error_init(&error);
  session_ = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
  dbus_error_free(&error);
  if (session_ == nullptr) return false;
  dbus_connection_set_exit_on_disconnect(session_, FALSE);
  return true;
}

std::optional<bool> AtspiStatus::read(int timeoutMS) {
  if (!connect()) return std::nullopt;
  DBusMessage* call = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                                   "org.freedesktop.DBus.Properties", "Get");
  if (call == nullptr) return std::nullopt;
  const char* interface = "org.a11y.Status";
  const char* property = "IsEnabled";
  dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                           DBUS_TYPE_INVALID);
  DBusError error;
  dbus_error_init(&error);
  DBusMessage* reply = dbus_connection_send_with_reply_and_block(session_, call, timeoutMS, &error);
  dbus_message_unref(call);
  dbus_error_free(&error);
  if (reply == nullptr) return std::nullopt;
  bool on = booleanOfVariant(reply);
  dbus_message_unref(reply);
  return on;
}

}  // namespace virelo::atspi
