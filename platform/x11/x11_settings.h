// What the X11 window server reads from the X server: the double-click interval (XSETTINGS), the
// desk's scale (XSETTINGS or the X resources), the monitors (RandR) and the pointer position. Each
// call is one or a few round trips on the given connection. The keyboard's state and repeat
// settings are kept by its XKB watch (x11_xkb_watch.h).
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

// The desk's scale: its font resolution over the unscaled 96 dpi, from Xft/DPI of the XSETTINGS
// manager (in 1024ths of a dpi), else from Xft.dpi of the X resources (RESOURCE_MANAGER of the
// root window, as xrdb loads them); 1 when neither gives one. 192 dpi (200 %) gives 2.
double deskScale(X11Connection& connection);

// The scale of a desk of that font resolution: dpi / 96, between 1 and 4 (below 96 dpi: 1).
double scaleOfDpi(double dpi);

// The value of Xft.dpi in the text of the X resources; nullopt when it is absent or not a
// positive number.
std::optional<double> resourceDpi(std::string_view resources);

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
