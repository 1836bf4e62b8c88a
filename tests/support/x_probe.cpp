#include "tests/support/x_probe.h"

#include <xcb/xcb.h>
// xkb.h names a field "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace virelo::test {
namespace {

template <typename Reply>
std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply) {
  if (reply == nullptr) throw std::runtime_error("no reply from the X server");
  return {reply, &std::free};
}

xcb_window_t rootOf(xcb_connection_t* c) {
  return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

}  // namespace

XProbe::XProbe(const std::string& display) {
  connection_ = xcb_connect(display.c_str(), nullptr);
  if (xcb_connection_has_error(connection_) != 0) {
    xcb_disconnect(connection_);
    throw std::runtime_error("cannot connect to X display " + display);
  }
  auto xkb = owned(xcb_xkb_use_extension_reply(
      connection_, xcb_xkb_use_extension(connection_, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
      nullptr));
  if (!xkb->supported) throw std::runtime_error("the X server has no XKB");
}

XProbe::~XProbe() {
  xcb_disconnect(connection_);
}

std::vector<int> XProbe::heldKeys() {
  auto map = owned(xcb_query_keymap_reply(connection_, xcb_query_keymap(connection_), nullptr));
  std::vector<int> held;
  for (int code = 0; code < 256; ++code) {
    if ((map->keys[code / 8] >> (code % 8)) & 1) held.push_back(code);
  }
  return held;
}

PointerState XProbe::pointer() {
  auto reply = owned(xcb_query_pointer_reply(
      connection_, xcb_query_pointer(connection_, rootOf(connection_)), nullptr));
  return {reply->root_x, reply->root_y, (reply->mask >> 8) & 0x1Fu};
}

RepeatSettings XProbe::repeat() {
  auto controls = owned(xcb_xkb_get_controls_reply(
      connection_, xcb_xkb_get_controls(connection_, XCB_XKB_ID_USE_CORE_KBD), nullptr));
  return {controls->repeatDelay, controls->repeatInterval};
}

}  // namespace virelo::test
