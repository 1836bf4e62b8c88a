// Whether two searches found the same control: the same application, role, name and bounds.
#pragma once

#include "virelo/client/controls.h"

namespace virelo::client {

inline bool sameControl(const Control& a, const Control& b) {
  return a.pid == b.pid && a.role == b.role && a.name == b.name && a.x == b.x && a.y == b.y &&
         a.width == b.width && a.height == b.height;
}

}  // namespace virelo::client
