// An accessibility element of the AT-SPI host: the system-wide element (no accessible behind it),
// the application of a process (its accessible, or none when that process has none on the bus),
// or any other accessible. Holds one reference of its accessible, and the scale of the window it
// lies in: how many of the X server's pixels one of its toolkit's logical pixels is (GTK's
// GDK_SCALE), by which its extents are multiplied.
//
// Threads: the system-wide element is made on the main thread and may be released anywhere. The
// others are made, used and released only on the snap target finder's queue, the one thread that
// uses libatspi.
#pragma once

#include <atspi/atspi.h>

#include <cstdint>

#include "platform/accessibility_element.h"

namespace virelo::atspi {

class AtspiElement final : public AccessibilityElement {
 public:
  // The system-wide element.
  AtspiElement() = default;
  // Takes over one reference of `accessible` (which may be null for an application without one).
  explicit AtspiElement(AtspiAccessible* accessible, double scale = 1)
      : accessible_(accessible), scale_(scale) {}
  ~AtspiElement() override {
    if (accessible_ != nullptr) g_object_unref(accessible_);
  }
  AtspiElement(const AtspiElement&) = delete;
  AtspiElement& operator=(const AtspiElement&) = delete;

  // Null for the system-wide element and for an application without an accessible.
  AtspiAccessible* accessible() const { return accessible_; }
  double scale() const { return scale_; }

 private:
  AtspiAccessible* accessible_ = nullptr;
  double scale_ = 1;
};

}  // namespace virelo::atspi
