// Which of the extensions the tools need the X server offers, asked with the bounded waits of
// every X request here.
#include <xcb/xcb.h>

#include <cstdint>
#include <cstring>

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"
#include "x11_connection.h"

namespace virelo::client {
namespace {

bool hasExtension(xcb_connection_t* connection, const char* name) {
  auto cookie =
      xcb_query_extension(connection, static_cast<std::uint16_t>(std::strlen(name)), name);
  auto reply = awaitReply<xcb_query_extension_reply_t>(connection, cookie.sequence);
  return reply && reply->present != 0;
}

}  // namespace

std::optional<ServerExtensions> serverExtensions(const char* display) {
  XcbConnectionPtr connection = connectX(display);
  if (!connection) return std::nullopt;
  ServerExtensions found;
  found.xtest = hasExtension(connection.get(), "XTEST");
  found.xinput = hasExtension(connection.get(), "XInputExtension");
  found.xkb = hasExtension(connection.get(), "XKEYBOARD");
  if (xcb_connection_has_error(connection.get()) != 0) {
    throw XServerSilent(std::string("the X server on \"") + display + "\" stopped answering");
  }
  return found;
}

}  // namespace virelo::client
