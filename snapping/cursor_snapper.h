// The arithmetic core of cursor snapping. For every relative pointer movement `step` decides
// whether the cursor simply moves by the movement or jumps to the centre of a nearby target; once
// the pointer rests, `settle` decides whether the cursor is pulled onto a target close by. The
// targets are handed in by the caller, read-only and in order (the order decides ties).
//
// Between calls the snapper keeps a smoothed pointer speed and velocity, the time of the previous
// step and the target snapped to last. A target that matches `last` (within 1 point on origin and
// size) is not snapped to again until some other target has been, so after a snap the user can move
// away across the same target freely.
//
// `step` and `settle` never allocate and never sort: each is at most two linear passes over the
// targets.
//
// Threads: no lock; owned by the snap session and called only from the main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/geometry.h"
#include "snapping/snap_tuning.h"

namespace virelo {

class CursorSnapper {
 public:
  explicit CursorSnapper(SnapTuning tuning = {});

  // Forgets the snapped targets, the speed estimate and the time of the previous step.
  void reset();

  // Whether the rectangle may serve as a target: its shorter side at least 4 points and at most
  // `maxShort`, its longer side at most `maxLong`.
  bool usable(const Rect& r) const;
  // The rectangle grown by d on all four sides.
  static Rect zone(const Rect& r, double d);
  // The middle of the rectangle.
  static Point center(const Rect& r);

  // Where the cursor goes for the movement `delta` from `current`: current + delta, or the centre
  // of the target it snaps to. Updates the speed estimate and `lastAt` every time, clears
  // `captured`, and on a snap sets `captured` and `last` to the target.
  Point step(Point current, Vector delta, bool dragging, std::span<const Rect> targets,
             std::uint64_t now);
  // Where to pull a cursor resting at `at`, or none (the cursor already rests on a target, or no
  // target other than `last` is within `stopReach`). On a pull sets `captured` and `last`; leaves
  // the speed estimate alone.
  std::optional<Point> settle(Point at, std::span<const Rect> targets);

  const SnapTuning& tuning() const { return tuning_; }
  // Smoothed pointer speed in points per second.
  double speed() const { return speed_; }
  // Smoothed pointer velocity in points per second, smoothed as the speed is: where the pointer
  // is heading.
  Vector velocity() const { return velocity_; }
  // Monotonic time of the previous step in nanoseconds; 0 before the first step.
  std::uint64_t lastAt() const { return lastAt_; }
  // The target the latest snapping step or pull moved the cursor onto; none after a step that did
  // not snap.
  const std::optional<Rect>& captured() const { return captured_; }
  // The target snapped to most recently.
  const std::optional<Rect>& last() const { return last_; }

 private:
  // Folds the movement at time `now` into the smoothed speed and velocity.
  void updateSpeed(Vector delta, std::uint64_t now);
  // Whether r is the target snapped to last, within 1 point on origin and size.
  bool matchesLast(const Rect& r) const;
  // Of the usable targets other than `last` whose zone grown by d holds p, the nearest to p, the
  // earlier one on a tie; null when there is none.
  const Rect* nearest(Point p, double d, std::span<const Rect> targets) const;
  // Records r as the snapped target and returns its centre.
  Point capture(const Rect& r);

  SnapTuning tuning_;
  std::optional<Rect> captured_;
  std::optional<Rect> last_;
  double speed_ = 0;
  Vector velocity_;
  std::uint64_t lastAt_ = 0;
};

}  // namespace virelo
