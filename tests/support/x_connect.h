// Opening a connection to an X display for the test and benchmark X clients.
#pragma once

#include <xcb/xcb.h>

#include <string>

namespace virelo::test {

// The connection to the display; throws std::runtime_error when it cannot be made. The caller
// disconnects it.
xcb_connection_t* connectX(const std::string& display);

}  // namespace virelo::test
