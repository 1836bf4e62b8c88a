#include "bench/xtest_poster.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <stdexcept>

#include "tests/support/x_connect.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"

namespace virelo::bench {
namespace {

constexpr int kLeftShiftKeycode = 50;  // evdev KEY_LEFTSHIFT (42) + 8
constexpr std::uint8_t kLeftShiftBit = 0x02;

}  // namespace

XtestPoster::XtestPoster(const std::string& display) {
  connection_ = test::connectX(display);
  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection_, &xcb_test_id);
  if (xtest == nullptr || !xtest->present) {
    xcb_disconnect(connection_);
    throw std::runtime_error("the X server has no XTEST");
  }
}

XtestPoster::~XtestPoster() {
  xcb_disconnect(connection_);
}

void XtestPoster::key(int keycode, bool press) {
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  xcb_test_fake_input(connection_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                      static_cast<std::uint8_t>(keycode), XCB_CURRENT_TIME, root, 0, 0, 0);
  xcb_flush(connection_);
}

void XtestPoster::type(std::string_view text) {
  for (const auto& stroke : client::KeyboardLayout::us().keystrokes(text)) {
    const int keycode = *client::evdevCodeOfUsage(stroke.usage) + 8;
    const bool shifted = (stroke.modifiers & kLeftShiftBit) != 0;
    if (shifted) key(kLeftShiftKeycode, true);
    key(keycode, true);
    key(keycode, false);
    if (shifted) key(kLeftShiftKeycode, false);
  }
}

}  // namespace virelo::bench
