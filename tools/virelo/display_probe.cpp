#include "tools/virelo/display_probe.h"

#include <xcb/xcb.h>

#include <cstring>

#include "client/x11/x11_connection.h"
#include "virelo/client/errors.h"

namespace virelo::tools {
namespace {

bool hasExtension(xcb_connection_t* connection, const char* name) {
  auto cookie =
      xcb_query_extension(connection, static_cast<std::uint16_t>(std::strlen(name)), name);
  auto reply = client::awaitReply<xcb_query_extension_reply_t>(connection, cookie.sequence);
  return reply && reply->present != 0;
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
  // Every wait for the server is bounded: a stopped server is reported, not waited for.
  client::XcbConnectionPtr connection;
  try {
    connection = client::connectX(display);
  } catch (const client::XServerSilent& e) {
    report.connectError = e.what();
    return report;
  }
  if (!connection) {
    report.connectError = "no X server answers on " + report.display;
    return report;
  }
  report.xtest = hasExtension(connection.get(), "XTEST");
  report.xinput = hasExtension(connection.get(), "XInputExtension");
  report.xkb = hasExtension(connection.get(), "XKEYBOARD");
  if (xcb_connection_has_error(connection.get()) != 0) {
    report.connectError = "the X server on " + report.display + " stopped answering";
  }
  return report;
}

}  // namespace virelo::tools
