#include "tools/virelo/system_notify.h"

#ifdef VIRELO_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace virelo::tools {
namespace {

void notify([[maybe_unused]] const std::string& state) {
#ifdef VIRELO_HAVE_SYSTEMD
  ::sd_notify(0, state.c_str());
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

}  // namespace virelo::tools
