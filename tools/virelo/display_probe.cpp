#include "tools/virelo/display_probe.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace virelo::tools {
namespace {

bool hasExtension(xcb_connection_t* connection, const char* name) {
  auto cookie =
      xcb_query_extension(connection, static_cast<std::uint16_t>(std::strlen(name)), name);
  xcb_query_extension_reply_t* reply = xcb_query_extension_reply(connection, cookie, nullptr);
  bool present = reply != nullptr && reply->present != 0;
  std::free(reply);
  return present;
}

}  // namespace

std::optional<std::string> DisplayReport::problem() const {
  if (display.empty()) return "$DISPLAY is not set";
  if (connectError) return *connectError;
  if (!xtest) return "the X server on " + display + " has no XTEST extension";
  return std::nullopt;
}

DisplayReport probeDisplay(const char* display) {
  DisplayReport report;
  if (display == nullptr || *display == '\0') return report;
  report.display = display;
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    report.connectError = "no X server answers on " + report.display;
  } else {
    report.xtest = hasExtension(connection, "XTEST");
    report.xinput = hasExtension(connection, "XInputExtension");
    report.xkb = hasExtension(connection, "XKEYBOARD");
  }
  xcb_disconnect(connection);
  return report;
}

}  // namespace virelo::tools
