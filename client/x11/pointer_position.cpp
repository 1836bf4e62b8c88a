#include <cstdlib>

#include "virelo/client/x11.h"
#include "x11_connection.h"

namespace virelo::client {

std::optional<PointerPosition> pointerPosition(const char* display) {
  XcbConnectionPtr connection = connectX(display);
  if (!connection) return std::nullopt;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
  if (screen == nullptr) return std::nullopt;
  auto reply = awaitReply<xcb_query_pointer_reply_t>(
      connection.get(), xcb_query_pointer(connection.get(), screen->root).sequence);
  if (!reply) return std::nullopt;
  return PointerPosition{reply->root_x, reply->root_y};
}

}  // namespace virelo::client
