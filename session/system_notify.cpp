#include "session/system_notify.h"

#include <cstdlib>

#include "session/systemd_library.h"

namespace virelo::session {
namespace {

void notify([[maybe_unused]] const std::string& state) {
#ifdef VIRELO_HAVE_SYSTEMD
  // Only a service manager that waits for the notification sets the socket.
  const char* socket = std::getenv("NOTIFY_SOCKET");
  if (socket == nullptr || *socket == '\0') return;
  if (const SystemdLibrary* systemd = systemdLibrary()) systemd->notify(0, state.c_str());
#endif
}

}  // namespace

void notifyReady(const std::string& status) {
  notify("READY=1\nSTATUS=" + status);
}

void notifyStatus(const std::string& status) {
  notify("STATUS=" + status);
}

void notifyStopping() {
  notify("STOPPING=1");
}

}  // namespace virelo::session
