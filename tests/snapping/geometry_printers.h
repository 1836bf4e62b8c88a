// Readable failure messages for the geometry types.
#pragma once

#include <optional>
#include <ostream>

#include "platform/geometry.h"

namespace virelo {

inline void PrintTo(const Point& p, std::ostream* os) {
  *os << "(" << p.x << ", " << p.y << ")";
}

inline void PrintTo(const Rect& r, std::ostream* os) {
  *os << "[" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << " x " << r.size.height
      << "]";
}

}  // namespace virelo
