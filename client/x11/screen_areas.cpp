// The RandR monitors, read from the X server (the whole screen is read in move_to.cpp, on the
// connection that placements keep).
#include <xcb/randr.h>

#include <cstdlib>
#include <string>

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"
#include "x11_connection.h"

namespace virelo::client {
namespace {

std::optional<ScreenArea> rootArea(xcb_connection_t* connection) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (screen == nullptr) return std::nullopt;
  return ScreenArea{0, 0, screen->width_in_pixels, screen->height_in_pixels};
}

std::vector<ScreenArea> randrMonitors(xcb_connection_t* connection, xcb_window_t root) {
  std::vector<ScreenArea> areas;
  auto version = awaitReply<xcb_randr_query_version_reply_t>(
      connection, xcb_randr_query_version(connection, 1, 5).sequence);
  if (!version) return areas;
  const bool hasMonitors =
      version->major_version > 1 || (version->major_version == 1 && version->minor_version >= 5);
  if (!hasMonitors) return areas;
  auto reply = awaitReply<xcb_randr_get_monitors_reply_t>(
      connection, xcb_randr_get_monitors(connection, root, 1).sequence);
  if (!reply) return areas;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
       xcb_randr_monitor_info_next(&it)) {
    areas.push_back(ScreenArea{it.data->x, it.data->y, it.data->width, it.data->height});
  }
  return areas;
}

}  // namespace

std::vector<ScreenArea> monitors(const char* display) {
  XcbConnectionPtr connection = connectX(display);
  if (!connection) return {};
  auto root = rootArea(connection.get());
  if (!root) return {};
  std::vector<ScreenArea> areas;
  // XCB waits for the extension's data with its own waits.
  ServerDeadline deadline(connection.get(), kConnectWait);
  const xcb_query_extension_reply_t* randr =
      xcb_get_extension_data(connection.get(), &xcb_randr_id);
  if (randr != nullptr && randr->present != 0) {
    areas = randrMonitors(connection.get(),
                          xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root);
  }
  if (deadline.passed()) {
    throw XServerSilent(std::string("the X server on \"") + display +
                        "\" did not give its monitors within " +
                        std::to_string(kConnectWait.count() / 1000) + " s (is it stopped?)");
  }
  if (areas.empty()) areas.push_back(*root);
  return areas;
}

}  // namespace virelo::client
