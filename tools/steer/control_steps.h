// The previous/next control buttons: the enabled controls that take the focus or are clicked
// (buttons, boxes, fields, menu items, links) of the window in front, found through the
// client library's controls (the accessibility trees of an X desktop), in reading order, and the
// pointer placed exactly on the centre of the one before or after it.
//
// Where the controls cannot be read (no X server, no accessibility bus) a step says why on
// standard error, once, and does nothing.
#pragma once

#include <functional>

namespace virelo::client {
class Client;
}

namespace virelo::steer {

std::function<void(bool forward)> controlStepper(client::Client& client);

}  // namespace virelo::steer
