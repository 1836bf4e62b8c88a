// What a control holds and what it can do, through its accessible's interfaces: its whole text
// (Text), its value (Value), the names of the accessibles that enclose it, and its actions
// (Action). Each read is one or a few requests to its application (atspi_requests.h), and an
// interface the accessible lacks reads as nothing.
//
// Threads: the thread that uses libatspi.
#pragma once

#include <atspi/atspi.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/controls.h"

namespace virelo::atspi {

// The whole text; nullopt when it has no Text interface or the request fails.
std::optional<std::string> textOf(AtspiAccessible* accessible);
// The current, minimum and maximum value; nullopt without a Value interface.
std::optional<ControlValue> valueOf(AtspiAccessible* accessible);
// Whether `accepts` takes the name of an accessible that encloses this one, from its parent up to
// its top-level window (its application is not one); at most `depth` levels up.
bool enclosedBy(AtspiAccessible* accessible, const std::function<bool(std::string_view)>& accepts,
                int depth);
// Does the action named `name` (the first one when nullopt) and returns its name. Throws
// std::runtime_error when the accessible has no actions, none of that name, or it refuses.
std::string doAction(AtspiAccessible* accessible, const std::optional<std::string>& name);

}  // namespace virelo::atspi
