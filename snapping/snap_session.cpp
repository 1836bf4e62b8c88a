#include "snapping/snap_session.h"

#include <cmath>
#include <utility>
#include <vector>

namespace virelo {
namespace {

// How far the cursor may have drifted from where it stopped for the resting pull still to apply,
// in points.
constexpr double kStillTolerance = 1.0;

}  // namespace

SnapSession::SnapSession(std::shared_ptr<SnapTargetSource> source) : source_(std::move(source)) {}

Point SnapSession::move(Point current, Vector delta, bool dragging, std::uint64_t now) {
  const std::vector<Rect> near = source_->targets();
  const Point to = snapper_.step(current, delta, dragging, near, now);
  // Near searches follow only a slow, button-free pointer: at higher speeds nothing would snap
  // anyway. The search is centred where the cursor lands, a target's centre after a snap.
  if (!dragging && snapper_.speed() <= 2 * snapper_.tuning().maxSpeed) source_->refresh(to, now);
  movedAt_ = now;
  stage_ = dragging ? Stage::inactive : Stage::moving;
  return to;
}

void SnapSession::cancel() {
  stage_ = Stage::inactive;
}

std::optional<Point> SnapSession::idle(std::uint64_t now,
                                       const std::function<std::optional<Point>()>& cursor,
                                       bool buttonsHeld) {
  switch (stage_) {
    case Stage::moving:
      return whenMoving(now, cursor, buttonsHeld);
    case Stage::awaitingWide:
      return whenAwaitingWide(cursor, buttonsHeld);
    case Stage::inactive:
    case Stage::settled:
      break;
  }
  return std::nullopt;
}

std::optional<Point> SnapSession::whenMoving(std::uint64_t now,
                                             const std::function<std::optional<Point>()>& cursor,
                                             bool buttonsHeld) {
  // Unsigned difference, like every interval of the monotonic clock.
  if (now - movedAt_ < snapper_.tuning().stopDelayNS) return std::nullopt;
  if (buttonsHeld) {
    stage_ = Stage::inactive;
    return std::nullopt;
  }
  const std::optional<Point> at = cursor();
  if (!at) {
    stage_ = Stage::inactive;
    return std::nullopt;
  }
  stage_ = Stage::awaitingWide;
  stopPoint_ = *at;
  source_->scanWide(*at);
  return std::nullopt;
}

std::optional<Point> SnapSession::whenAwaitingWide(
    const std::function<std::optional<Point>()>& cursor, bool buttonsHeld) {
  const std::optional<std::vector<Rect>> wide = source_->takeWide();
  if (!wide) return std::nullopt;
  stage_ = Stage::settled;
  if (buttonsHeld) return std::nullopt;
  const std::optional<Point> at = cursor();
  if (!at) return std::nullopt;
  // A cursor that moved while the search ran (the physical mouse, say) is left where it is.
  const double drift = std::hypot(at->x - stopPoint_.x, at->y - stopPoint_.y);
  if (!(drift <= kStillTolerance)) return std::nullopt;
  return snapper_.settle(*at, *wide);
}

}  // namespace virelo
