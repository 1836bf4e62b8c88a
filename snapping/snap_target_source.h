// Where the snap session gets its targets from. Implemented by the snap target finder; tests use
// scripted doubles.
//
// Threads: all four operations are called from the service's main thread only and must return at
// once; a source does its searching elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/geometry.h"

namespace virelo {

class SnapTargetSource {
 public:
  virtual ~SnapTargetSource() = default;
  // The near targets published most recently (possibly empty, possibly found around an earlier
  // cursor position).
  virtual std::vector<Rect> targets() = 0;
  // Asks for a new near search around the point; the source may drop the request.
  virtual void refresh(Point around, std::uint64_t now) = 0;
  // Asks for a wide search around the point, discarding any wide result not yet taken and any
  // earlier wide request still running.
  virtual void scanWide(Point around) = 0;
  // The result of the latest wide request if it has finished and was not taken yet; taking it
  // clears it.
  virtual std::optional<std::vector<Rect>> takeWide() = 0;
};

}  // namespace virelo
