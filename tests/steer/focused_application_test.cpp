// The focused application on a real X server (Xvfb), for profiles chosen per application.
#include "tools/steer/focused_application.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/xvfb_server.h"

namespace virelo::steer {
namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
  const xcb_atom_t a = reply->atom;
  std::free(reply);
  return a;
}

TEST(FocusedApplication, IsTheClassOfTheActiveWindowAndNothingWithoutAnXServer) {
  if (!test::XvfbServer::installed()) GTEST_SKIP() << "Xvfb is not installed (package xvfb)";
  test::XvfbServer server;
  ASSERT_TRUE(server.available());
  xcb_connection_t* c = xcb_connect(server.display().c_str(), nullptr);
  ASSERT_EQ(xcb_connection_has_error(c), 0);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const xcb_window_t window = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root, 0, 0, 10, 10, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
  const char wmClass[] = "gimp\0Gimp-2.10";
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                      sizeof wmClass, wmClass);
  {
    FocusedApplication none(server.display());
    EXPECT_EQ(none.current(), "") << "no window is active yet";
  }
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom(c, "_NET_ACTIVE_WINDOW"),
                      XCB_ATOM_WINDOW, 32, 1, &window);
  // A round trip, so that the property is set before it is read elsewhere.
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  FocusedApplication focused(server.display());
  EXPECT_EQ(focused.current(), "Gimp-2.10");
  xcb_disconnect(c);
  server.stop();
  FocusedApplication gone(server.display());
  EXPECT_EQ(gone.current(), "");
}

}  // namespace
}  // namespace virelo::steer
