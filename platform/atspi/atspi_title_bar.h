// The title-bar buttons of a window whose application draws its own title bar (a client-side
// decorated header bar): push buttons inside the window's first panels, recognised by their
// accessible names. A window manager's own decorations are not on the accessibility bus, so such
// windows have none.
//
// Threads: only on the thread that uses libatspi (the snap target finder's queue).
#pragma once

#include <atspi/atspi.h>

#include <optional>
#include <string>

#include "platform/accessibility_value.h"

namespace virelo::atspi {

enum class TitleBarButton { close, minimize, zoom, fullScreen };

// The button named by a title-bar attribute ("AXCloseButton", ...), or std::nullopt.
std::optional<TitleBarButton> titleBarButtonOf(const std::string& attribute);

// The button's element, no value when the window shows none, std::nullopt when `window` is not
// a window or the request failed.
// The element carries the window's scale.
std::optional<AccessibilityValue> titleBarButton(AtspiAccessible* window, TitleBarButton button,
                                                 double scale);

}  // namespace virelo::atspi
