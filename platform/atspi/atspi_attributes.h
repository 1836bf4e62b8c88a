// Attribute reads on AT-SPI accessibles, under the attribute names that snap target discovery
// reads: "AXRole", "AXTitle", "AXParent", "AXChildren", "AXWindows", "AXPosition", "AXSize",
// "AXEnabled" and the title-bar buttons "AXCloseButton", "AXMinimizeButton", "AXZoomButton",
// "AXFullScreenButton". Other names are unsupported and fail.
//
// Threads: only on the thread that uses libatspi (the snap target finder's queue).
#pragma once

#include <atspi/atspi.h>

#include <optional>
#include <string>

#include "platform/accessibility_value.h"

namespace virelo::atspi {

// The value of the attribute, or std::nullopt when the request failed or the attribute is not
// supported. `scale` is the accessible's (see AtspiElement): positions and sizes are multiplied by
// it, and elements read carry it on.
std::optional<AccessibilityValue> readAttribute(AtspiAccessible* accessible,
                                                const std::string& attribute, double scale);

// A handle of the accessible with that scale, taking over one reference; null for null.
ElementRef wrap(AtspiAccessible* accessible, double scale);

}  // namespace virelo::atspi
