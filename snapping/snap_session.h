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
// Sizes and distances of snapping (the snapper's tuning, the stillness tolerance, how far ahead
// a near search looks) are in the desk's logical points, so that a scaled desk snaps as an
// unscaled one does. Everything the session is given and gives back (cursor positions,
// movements, targets, search points) is in the window server's pixels; `scale` is how many of
// them make one point (1 on an unscaled desk), and the session converts at its edges.
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

  // `scale`: the window server's pixels per logical point of the desk; a value that is not
  // positive counts as 1.
  explicit SnapSession(std::shared_ptr<SnapTargetSource> source, double scale = 1);

  // Runs the movement `delta` from `current` through the snapper with the latest near targets and
  // returns where the cursor is to go. Asks the source for a new near search ahead of that point
  // (see searchPoint) when not dragging and the pointer is slow enough. A dragging move ends any
  // pending pull; any other move starts waiting for stillness.
  Point move(Point current, Vector delta, bool dragging, std::uint64_t now);
  // Drops any pending pull. The snapper keeps its state and the source is not told.
  void cancel();
  // Called once per tick. Returns the point to pull the resting cursor to, or none. `cursor`
  // reads the cursor position (none when unreadable); it is called at most once, and only when
  // the stage needs it.
  std::optional<Point> idle(std::uint64_t now, const std::function<std::optional<Point>()>& cursor,
                            bool buttonsHeld);

  Stage stage() const { return stage_; }
  // Cursor position when the pointer was found to be still (pixels).
  Point stopPoint() const { return stopPoint_; }
  // Monotonic time of the latest `move` in nanoseconds.
  std::uint64_t movedAt() const { return movedAt_; }
  // The snapper, which works in points.
  const CursorSnapper& snapper() const { return snapper_; }
  double scale() const { return scale_; }

 private:
  // Where the near search after a move to `to` is centred: ahead of it in the pointer's
  // heading, by the snapper's reach and the way covered while a search is on its way; `to`
  // itself when the pointer has no heading.
  Point searchPoint(Point to) const;
  Point toPoints(Point p) const;
  Rect toPoints(const Rect& r) const;
  Point toPixels(Point p) const;
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
  double scale_;
};

}  // namespace virelo
