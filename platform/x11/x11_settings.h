// What the X11 window server reads from the X server: the double-click interval (XSETTINGS), the
// monitors (RandR) and the pointer position. Each call is one or a few round trips on the given
// connection. The keyboard's state and repeat settings are kept by its XKB watch
// (x11_xkb_watch.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/geometry.h"
#include "platform/x11/x11_connection.h"

namespace virelo::x11 {

// The double-click interval when no XSETTINGS manager gives one (GTK's default as well).
inline constexpr double kDefaultDoubleClickSeconds = 0.4;

// Net/DoubleClickTime of the XSETTINGS manager of the connection's screen, in seconds; the
// default when no manager runs or it does not set that value.
double doubleClickSeconds(X11Connection& connection);

// The integer setting of that name in an _XSETTINGS_SETTINGS property; nullopt when it is absent
// or the property is malformed.
std::optional<std::int32_t> xsettingsInteger(std::span<const std::uint8_t> property,
                                             std::string_view name);

// The first `max` monitors in the server's order (RandR 1.5), or the whole screen when the server
// has no monitor list; nullopt when the request fails.
std::optional<std::vector<Rect>> monitors(X11Connection& connection, std::size_t max);

// The pointer's position on the root window; nullopt when it cannot be read.
std::optional<Point> pointerPosition(X11Connection& connection);

}  // namespace virelo::x11
