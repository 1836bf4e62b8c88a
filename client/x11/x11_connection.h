// An owning handle of a connection to an X server.
#pragma once

#include <xcb/xcb.h>

#include <memory>

namespace virelo::client {

struct XcbDisconnect {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnectionPtr = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

}  // namespace virelo::client
