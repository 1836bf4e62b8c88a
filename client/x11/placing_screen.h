// The screen's size read on the X connection that absolute placements keep from one to the next
// (move_to.cpp): checking a target on it costs a round trip, not a connection of its own.
#pragma once

#include <optional>

#include "virelo/client/x11.h"

namespace virelo::client {

// The whole screen of `display` as it is now; nullopt when no X server answers there.
std::optional<ScreenArea> placingScreenArea(const char* display);

}  // namespace virelo::client
