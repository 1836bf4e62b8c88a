// The value of an accessibility attribute after a successful read. It is one of: no value, an
// element, a list of elements, text, a boolean, a wrapped point, a wrapped size, or a value of
// some other kind (a number, a list that holds something other than elements, ...), which the
// callers only ever reject.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "platform/accessibility_element.h"
#include "platform/geometry.h"

namespace virelo {

// A value of a kind that none of the readers accepts.
struct OtherAccessibilityValue {
  friend bool operator==(const OtherAccessibilityValue&, const OtherAccessibilityValue&) = default;
};

using AccessibilityValue = std::variant<std::monostate,  // the attribute has no value
                                        ElementRef, std::vector<ElementRef>, std::string, bool,
                                        Point, Size, OtherAccessibilityValue>;

}  // namespace virelo
