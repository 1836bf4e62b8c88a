// One on-screen window as the window server lists it.
#pragma once

#include <cstdint>

#include "platform/geometry.h"

namespace virelo {

struct Window {
  std::int32_t pid = 0;    // process owning the window
  Rect bounds;             // window frame in global display coordinates
  std::int64_t layer = 0;  // 0 is the layer of ordinary application windows

  friend bool operator==(const Window&, const Window&) = default;
};

}  // namespace virelo
