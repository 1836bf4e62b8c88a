// Whether the desktop session is KDE Plasma on Wayland (KWin the compositor), told from the
// session's environment alone: a Wayland session (XDG_SESSION_TYPE "wayland", or no session type
// and a WAYLAND_DISPLAY) whose desktop, XDG_CURRENT_DESKTOP (a colon-separated list, compared
// without regard to case), names KDE. An X11 session is never one, even with a WAYLAND_DISPLAY
// left in its environment.
#pragma once

#include <functional>

namespace virelo::kde {

// `environment` looks a variable up as getenv does (nullptr: unset).
bool isKdeWaylandSession(const std::function<const char*(const char*)>& environment);

}  // namespace virelo::kde
