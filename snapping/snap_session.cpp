#include "snapping/snap_session.h"

#include <cmath>
#include <utility>
#include <vector>

namespace virelo {
namespace {

// How far the cursor may have drifted from where it stopped for the resting pull still to apply,
// in points.
constexpr double kStillTolerance = 1.0;
// How long a near search takes to reach the targets that a move snaps against: the wait until
// the source accepts a new request, about one request interval, and the search itself.
constexpr double kSearchLeadSeconds = 0.06;

}  // namespace

SnapSession::SnapSession(std::shared_ptr<SnapTargetSource> source, double scale)
    : source_(std::move(source)), scale_(scale > 0 ? scale : 1) {}

Point SnapSession::move(Point current, Vector delta, bool dragging, std::uint64_t now) {
  std::vector<Rect> near = source_->targets();
  for (Rect& r : near) r = toPoints(r);
  const Point to =
      snapper_.step(toPoints(current), {delta.dx / scale_, delta.dy / scale_}, dragging, near, now);
  // Near searches follow only a slow, button-free pointer: at higher speeds nothing would snap
  // anyway.
  if (!dragging && snapper_.speed() <= 2 * snapper_.tuning().maxSpeed) {
    source_->refresh(toPixels(searchPoint(to)), now);
  }
  movedAt_ = now;
  stage_ = dragging ? Stage::inactive : Stage::moving;
  // A move that did not snap lands exactly where it was aimed, not by way of points.
  if (!snapper_.captured()) return {current.x + delta.dx, current.y + delta.dy};
  return toPixels(to);
}

Point SnapSession::toPoints(Point p) const {
  return {p.x / scale_, p.y / scale_};
}

Rect SnapSession::toPoints(const Rect& r) const {
  return makeRect(r.origin.x / scale_, r.origin.y / scale_, r.size.width / scale_,
                  r.size.height / scale_);
}

Point SnapSession::toPixels(Point p) const {
  return {p.x * scale_, p.y * scale_};
}

Point SnapSession::searchPoint(Point to) const {
  // A near search finds the targets about a band's width around its point. Around the cursor
  // itself that is too late: a target becomes known only once the cursor is inside its band, and
  // a cursor already in a band snaps only on the target itself. So the search of a moving
  // pointer is centred ahead of it, by a band's width (it then reaches from the cursor to two
  // band widths ahead) and by the way the pointer covers while the result is on its way, so that
  // a target is known before the cursor enters its band.
  const Vector heading = snapper_.velocity();
  const double length = std::hypot(heading.dx, heading.dy);
  if (!(length > 0)) return to;
  const double lead = snapper_.tuning().reach + snapper_.speed() * kSearchLeadSeconds;
  return {to.x + heading.dx / length * lead, to.y + heading.dy / length * lead};
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
  const double drift = std::hypot(at->x - stopPoint_.x, at->y - stopPoint_.y) / scale_;
  if (!(drift <= kStillTolerance)) return std::nullopt;
  std::vector<Rect> targets = *wide;
  for (Rect& r : targets) r = toPoints(r);
  const std::optional<Point> pull = snapper_.settle(toPoints(*at), targets);
  if (!pull) return std::nullopt;
  return toPixels(*pull);
}

}  // namespace virelo
