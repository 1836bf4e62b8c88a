#include "snapping/cursor_snapper.h"

#include <algorithm>
#include <cmath>

namespace virelo {
namespace {

// Time assumed between the first step and the (non-existent) one before it, in seconds.
constexpr double kFirstStepSeconds = 0.003;
// Bounds of the time between two steps, in seconds.
constexpr double kMinStepSeconds = 0.0005;
constexpr double kMaxStepSeconds = 0.25;
// Time constant of the speed smoothing, in seconds.
constexpr double kSpeedTimeConstant = 0.04;
// Smallest allowed shorter side of a target, in points.
constexpr double kMinSide = 4.0;
// How far origin and size may differ for a rectangle to count as the target snapped to last.
constexpr double kSameTargetTolerance = 1.0;

// Distance from p to the nearest point of r; 0 inside r and on its border.
double distance(Point p, const Rect& r) {
  const double dx = std::max({r.minX() - p.x, 0.0, p.x - r.maxX()});
  const double dy = std::max({r.minY() - p.y, 0.0, p.y - r.maxY()});
  return std::hypot(dx, dy);
}

}  // namespace

CursorSnapper::CursorSnapper(SnapTuning tuning) : tuning_(tuning) {}

void CursorSnapper::reset() {
  captured_.reset();
  last_.reset();
  speed_ = 0;
  velocity_ = {};
  lastAt_ = 0;
}

bool CursorSnapper::usable(const Rect& r) const {
  const double shorter = std::min(r.width(), r.height());
  const double longer = std::max(r.width(), r.height());
  return shorter >= kMinSide && shorter <= tuning_.maxShort && longer <= tuning_.maxLong;
}

Rect CursorSnapper::zone(const Rect& r, double d) {
  return r.grown(d);
}

Point CursorSnapper::center(const Rect& r) {
  return r.center();
}

Point CursorSnapper::step(Point current, Vector delta, bool dragging, std::span<const Rect> targets,
                          std::uint64_t now) {
  const double moved = std::hypot(delta.dx, delta.dy);
  updateSpeed(delta, now);
  captured_.reset();

  const Point destination{current.x + delta.dx, current.y + delta.dy};
  // Written so that a speed that is not a number never snaps.
  const bool slow = speed_ <= tuning_.maxSpeed;
  if (dragging || moved <= 0 || !slow || targets.empty()) return destination;

  // A snap needs a trigger: a target the cursor has just reached, either by landing inside it or
  // by entering its band from outside. A cursor already resting in a band (it came in fast, or
  // the target appeared later) snaps only once it lands in the target itself.
  const bool triggered = std::any_of(targets.begin(), targets.end(), [&](const Rect& r) {
    if (!usable(r) || matchesLast(r)) return false;
    const Rect band = zone(r, tuning_.reach);
    return band.contains(destination) && (r.contains(destination) || !band.contains(current));
  });
  if (!triggered) return destination;

  // Then the nearest of all targets whose band holds the destination wins, the earlier on a tie.
  // The trigger is one of them, so there always is one.
  return capture(*nearest(destination, tuning_.reach, targets));
}

std::optional<Point> CursorSnapper::settle(Point at, std::span<const Rect> targets) {
  if (targets.empty()) return std::nullopt;
  // A cursor resting on any target stays, even on the one snapped to last.
  const bool onTarget = std::any_of(targets.begin(), targets.end(),
                                    [&](const Rect& r) { return usable(r) && r.contains(at); });
  if (onTarget) return std::nullopt;

  const Rect* chosen = nearest(at, tuning_.stopReach, targets);
  if (chosen == nullptr) return std::nullopt;
  return capture(*chosen);
}

void CursorSnapper::updateSpeed(Vector delta, std::uint64_t now) {
  double dt = kFirstStepSeconds;
  if (lastAt_ != 0) {
    // Unsigned difference: a clock reading earlier than the previous one wraps to a huge
    // interval and is clamped to the upper bound.
    const std::uint64_t elapsed = now - lastAt_;
    dt = std::clamp(static_cast<double>(elapsed) / 1e9, kMinStepSeconds, kMaxStepSeconds);
  }
  lastAt_ = now;
  // Exponential smoothing of the instantaneous speed and velocity; a gap as long as the time
  // constant replaces the old estimate entirely.
  const double weight = std::min(dt / kSpeedTimeConstant, 1.0);
  speed_ += weight * (std::hypot(delta.dx, delta.dy) / dt - speed_);
  velocity_.dx += weight * (delta.dx / dt - velocity_.dx);
  velocity_.dy += weight * (delta.dy / dt - velocity_.dy);
}

const Rect* CursorSnapper::nearest(Point p, double d, std::span<const Rect> targets) const {
  const Rect* chosen = nullptr;
  double best = 0;
  for (const Rect& r : targets) {
    if (!usable(r) || matchesLast(r) || !zone(r, d).contains(p)) continue;
    const double away = distance(p, r);
    // Only a strictly nearer target replaces the choice, so the earlier one wins a tie.
    if (chosen == nullptr || away < best) {
      chosen = &r;
      best = away;
    }
  }
  return chosen;
}

bool CursorSnapper::matchesLast(const Rect& r) const {
  if (!last_) return false;
  const Rect& l = *last_;
  return std::abs(r.minX() - l.minX()) <= kSameTargetTolerance &&
         std::abs(r.minY() - l.minY()) <= kSameTargetTolerance &&
         std::abs(r.width() - l.width()) <= kSameTargetTolerance &&
         std::abs(r.height() - l.height()) <= kSameTargetTolerance;
}

Point CursorSnapper::capture(const Rect& r) {
  captured_ = r;
  last_ = r;
  return center(r);
}

}  // namespace virelo
