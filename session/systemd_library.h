// libsystemd, opened on first use: the session's readiness notification, the doctor's look at the
// session bus and the question the host choice asks it (host_choice.h) need it, every other
// command does not, and linking it would load it (and the
// seven libraries it brings) at every start of the tool.
#pragma once

#ifdef VIRELO_HAVE_SYSTEMD
#include <systemd/sd-bus.h>
#include <systemd/sd-daemon.h>

namespace virelo::session {

struct SystemdLibrary {
  decltype(&::sd_notify) notify;
  decltype(&::sd_bus_open_user) busOpenUser;
  decltype(&::sd_bus_get_property_trivial) getPropertyTrivial;
  decltype(&::sd_bus_error_free) errorFree;
  decltype(&::sd_bus_unref) busUnref;
  decltype(&::sd_bus_call_method) callMethod;
  decltype(&::sd_bus_message_read_basic) messageReadBasic;
  decltype(&::sd_bus_message_unref) messageUnref;
};

// The library's functions, or nullptr when libsystemd.so.0 cannot be opened.
const SystemdLibrary* systemdLibrary();

}  // namespace virelo::session
#endif
