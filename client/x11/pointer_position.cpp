#include <cstdlib>

#include "virelo/client/x11.h"
#include "x11_connection.h"

namespace virelo::client {

std::optional<PointerPosition> pointerPosition(const char* display) {
  XcbConnectionPtr connection(xcb_connect(display, nullptr));
  if (xcb_connection_has_error(connection.get()) != 0) return std::nullopt;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
  if (screen == nullptr) return std::nullopt;
  xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(
      connection.get(), xcb_query_pointer(connection.get(), screen->root), nullptr);
  if (reply == nullptr) return std::nullopt;
  const PointerPosition position{reply->root_x, reply->root_y};
  std::free(reply);
  return position;
}

}  // namespace virelo::client
