// What the X11 window server reads from the X server: the keyboard's combined modifier flags and
// repeat settings (XKB), the double-click interval (XSETTINGS), the monitors (RandR) and the
// pointer position. Each call is one or a few round trips on the given connection.
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

struct KeyRepeat {
  // Seconds; both 0 when the server does not repeat keys (RepeatKeys control off).
  double delay = 0;
  double interval = 0;
};

// The core keyboard's repeat controls; nullopt without XKB or when they cannot be read.
std::optional<KeyRepeat> keyRepeat(X11Connection& connection);

// The core keyboard's state as event flags: caps lock locked (0x10000), shift (0x20000), control
// (0x40000), Mod1 as option (0x80000), Mod4 as command (0x100000). 0 when it cannot be read.
std::uint64_t combinedFlags(X11Connection& connection);

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
