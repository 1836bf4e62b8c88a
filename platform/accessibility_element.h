// A handle of one accessibility element: an application, a window, a control, or the
// system-wide element through which screen positions are hit-tested. Handles are opaque to the
// code that uses them; two different handles may denote the same element, which only
// Accessibility::equal can tell. A null handle never denotes an element.
//
// Threads: a handle is immutable and may be passed between threads.
#pragma once

#include <memory>

namespace virelo {

class AccessibilityElement {
 public:
  virtual ~AccessibilityElement() = default;
};

using ElementRef = std::shared_ptr<const AccessibilityElement>;

}  // namespace virelo
