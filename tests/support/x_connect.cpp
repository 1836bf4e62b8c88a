#include "tests/support/x_connect.h"

#include <stdexcept>

namespace virelo::test {

xcb_connection_t* connectX(const std::string& display) {
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    throw std::runtime_error("cannot connect to X display " + display);
  }
  return connection;
}

}  // namespace virelo::test
