#include "session/status_words.h"

#include <cstdlib>

namespace virelo::session {

std::string describeError(const std::string& code, const std::string& host) {
  if (code == "virtual_hid_authorization_required") {
    return "cannot create the virtual devices: /dev/uhid does not open read-write for this user "
           "(run `virelo doctor`)";
  }
  if (code == "virtual_hid_accessibility_required") {
    if (host != "linux") return "posting window-server events is not permitted";
    const char* display = std::getenv("DISPLAY");
    return std::string("the X server ") + (display && *display ? display : "($DISPLAY unset)") +
           " cannot be reached or lacks XTEST";
  }
  if (code == "virtual_hid_protocol_error") {
    return "the service refused its start (run as the superuser, or a malformed token)";
  }
  if (code == "virtual_hid_not_ready") return "the output failed or could not be set up";
  return code;
}

std::string describeEvent(const client::ServiceEvent& event, const std::string& host) {
  if (event.type == "ready") return "ready (" + event.backend + ")";
  if (event.type == "fn_state") {
    return std::string("Fn ") + (event.held.value_or(false) ? "held" : "released");
  }
  if (event.failure()) return "failed: " + describeError(*event.error, host);
  if (event.type == "status") {
    if (event.ready) return "ready (" + event.backend + ")";
    return "not ready: " + describeError(event.error.value_or("unknown"), host);
  }
  return "said: " + event.line;
}

}  // namespace virelo::session
