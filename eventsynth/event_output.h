// The event-synthesis backend as the bridge sees it: the merged HID reports arrive through the
// bridge's event-output sink and are turned into window-server events; the extras the other
// backend lacks (key repeat, the cursor, the Fn tap) the bridge calls directly. CGEventOutput is
// the implementation; tests use recording doubles.
//
// Threads: every operation is called on the main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>

#include "fntap/fn_snapshot.h"
#include "platform/geometry.h"

namespace virelo {

// The platform returned no event object.
class CGOutputFailure : public std::runtime_error {
 public:
  CGOutputFailure() : std::runtime_error("eventCreationFailed") {}
};

// Replaces the target of a snapped relative move: (cursor before the move, the move, whether a
// button is held, now in monotonic ns) -> the point to move to.
using SnapStep =
    std::function<Point(Point current, Vector delta, bool dragging, std::uint64_t now)>;

class EventOutput {
 public:
  virtual ~EventOutput() = default;

  // Whether this process may post events.
  virtual bool permitted() = 0;
  // The 33-byte keyboard report; fn: whether any client holds Fn. Throws CGOutputFailure.
  virtual void keyboard(std::span<const std::uint8_t> report, bool fn, std::uint64_t now) = 0;
  // The 1-byte consumer report. Throws CGOutputFailure.
  virtual void consumer(std::span<const std::uint8_t> report) = 0;
  // The 4-byte mouse report; snap: whether the move may be snapped. Throws CGOutputFailure.
  virtual void pointing(std::span<const std::uint8_t> report, std::uint64_t now, bool snap) = 0;
  // Performs a due key repeat. Throws CGOutputFailure.
  virtual void repeatTick(std::uint64_t now) = 0;
  // The cursor position, or nullopt when it cannot be read.
  virtual std::optional<Point> cursorLocation() = 0;
  // Places the cursor (nothing while a button is held). Throws CGOutputFailure.
  virtual void moveCursor(Point to) = 0;
  // Releases everything held (or, without posting permission, forgets the virtual Fn and the
  // repeat). Never fails.
  virtual void releaseAll() = 0;
  // Set once, right after construction.
  virtual void setSnapStep(SnapStep step) = 0;

  // The Fn and media key tap.
  virtual void startTap() = 0;
  virtual void stopTap() = 0;
  virtual FnSnapshot fnSnapshot() = 0;
};

}  // namespace virelo
