// What the windows' calls (windows.h) share: a connection to the server with the atoms of the
// window manager's hints, and property reads with the bounded waits of x11_connection.h.
//
// Threads: one thread uses an object.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "x11_connection.h"

namespace virelo::client {

struct Ewmh {
  // Throws WindowsUnavailable when no server answers on `display`, XServerSilent when it does
  // not answer in time.
  explicit Ewmh(const char* display);

  xcb_connection_t* get() const { return connection.get(); }
  // Throws XServerSilent when a reply did not come in time (the connection was then cut off).
  void checkAnswered() const;

  std::string display;
  XcbConnectionPtr connection;
  xcb_window_t root = 0;
  xcb_atom_t clientList = 0, activeWindow = 0, supported = 0, wmName = 0, utf8 = 0, wmPid = 0,
             wmDesktop = 0;
};

// Asks for a property of `window` (any type, all of it); await the reply with awaitReply.
xcb_get_property_cookie_t askProperty(const Ewmh& x, xcb_window_t window, xcb_atom_t property);
// The 32-bit values of a property's reply (nullopt when the window has no such property).
std::optional<std::vector<std::uint32_t>> cardinals(const ReplyPtr<xcb_get_property_reply_t>& r);
// The bytes of an 8-bit property's reply, empty when it has none.
std::string bytes(const ReplyPtr<xcb_get_property_reply_t>& reply);

}  // namespace virelo::client
