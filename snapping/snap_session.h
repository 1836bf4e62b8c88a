// Joins the cursor snapper to a source of targets and to time. Every snapped pointer movement goes
// through `move`, which snaps against the near targets the source published most recently and
// asks the source to look again around the cursor while the pointer moves slowly. Once the pointer
// has been still for the tuning's `stopDelayNS`, `idle` asks the source for a wide search around
// the resting cursor and, when that result is in, says where to pull the cursor, if anywhere.
//
// Stages of the stop-and-pull sequence:
//   inactive      nothing pending
//   moving        a movement without buttons happened; waiting for enough stillness
//   awaitingWide  the pointer is still; a wide search around `stopPoint` is awaited
//   settled       the wide result was taken; nothing more until the next movement
//
// Threads: no lock. `move`, `cancel` and `idle` are called from the main thread only, one at a
// time; the only cross-thread exchange happens inside the source.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/geometry.h"
#include "snapping/cursor_snapper.h"
#include "snapping/snap_target_source.h"

namespace virelo {

class SnapSession {
 public:
  enum class Stage { inactive = 0, moving = 1, awaitingWide = 2, settled = 3 };

  explicit SnapSession(std::shared_ptr<SnapTargetSource> source);

  // Runs the movement `delta` from `current` through the snapper with the latest near targets and
  // returns where the cursor is to go. Asks the source for a new near search around that point
  // when not dragging and the pointer is slow enough. A dragging move ends any pending pull; any
  // other move starts waiting for stillness.
  Point move(Point current, Vector delta, bool dragging, std::uint64_t now);
  // Drops any pending pull. The snapper keeps its state and the source is not told.
  void cancel();
  // Called once per tick. Returns the point to pull the resting cursor to, or none. `cursor`
  // reads the cursor position (none when unreadable); it is called at most once, and only when
  // the stage needs it.
  std::optional<Point> idle(std::uint64_t now, const std::function<std::optional<Point>()>& cursor,
                            bool buttonsHeld);

  Stage stage() const { return stage_; }
  // Cursor position when the pointer was found to be still.
  Point stopPoint() const { return stopPoint_; }
  // Monotonic time of the latest `move` in nanoseconds.
  std::uint64_t movedAt() const { return movedAt_; }
  const CursorSnapper& snapper() const { return snapper_; }

 private:
  std::optional<Point> whenMoving(std::uint64_t now,
                                  const std::function<std::optional<Point>()>& cursor,
                                  bool buttonsHeld);
  std::optional<Point> whenAwaitingWide(const std::function<std::optional<Point>()>& cursor,
                                        bool buttonsHeld);

  CursorSnapper snapper_;
  std::shared_ptr<SnapTargetSource> source_;
  std::uint64_t movedAt_ = 0;
  Stage stage_ = Stage::inactive;
  Point stopPoint_;
};

}  // namespace virelo
