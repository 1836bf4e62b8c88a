// The active displays of the window server and their bounds.
//
// Threads: called only on the snap target finder's background queue.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/geometry.h"

namespace virelo {

class ActiveDisplays {
 public:
  virtual ~ActiveDisplays() = default;
  // The ids of the active displays, at most maxDisplays of them, or std::nullopt on an error.
  virtual std::optional<std::vector<std::uint32_t>> activeDisplayList(
      std::uint32_t maxDisplays) = 0;
  // The bounds of a display in global display coordinates.
  virtual Rect displayBounds(std::uint32_t display) = 0;
};

}  // namespace virelo
