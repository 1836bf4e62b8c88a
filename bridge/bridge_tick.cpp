// The periodic step: key repeat, the resting snap pull, and continuous motion.
#include <algorithm>
#include <cmath>

#include "bridge/bridge.h"

namespace virelo {
namespace {

constexpr std::uint64_t kMaxStepNS = 8'000'000;

}  // namespace

bool Bridge::anyMotion() const {
  return std::any_of(owners_.begin(), owners_.end(),
                     [](const auto& entry) { return entry.second.motionAt != 0; });
}

void Bridge::tick() {
  if (!ready_ || !stopCheckThenPrune()) return;
  releasePending();
  if (stopped_) return;
  if (events_) {
    events_->repeatTick(clock_());
    std::uint64_t now = clock_();
    bool buttonsHeld = mergedButtons() != 0;
    EventOutput* output = events_;
    auto pull = snapSession_.idle(
        now, [output]() { return output->cursorLocation(); }, buttonsHeld);
    if (pull) events_->moveCursor(*pull);
  }
  if (!anyMotion() || !stopCheckThenPrune()) return;
  stepMotion();
}

void Bridge::stepMotion() {
  std::uint64_t now = clock_();
  std::int64_t sumX = 0;
  std::int64_t sumY = 0;
  for (auto& [fd, owner] : owners_) {
    if (owner.motionAt == 0 || now >= owner.motionAt + kMotionLapseNS) {
      owner.stopMotion();
      continue;
    }
    std::uint64_t dt = std::min(now - owner.steppedAt, kMaxStepNS);
    owner.steppedAt = now;
    double s = static_cast<double>(dt) / 1e9;
    double px = owner.fractionX + owner.vx * s;
    double py = owner.fractionY + owner.vy * s;
    double ix = std::trunc(px);
    double iy = std::trunc(py);
    owner.fractionX = px - ix;
    owner.fractionY = py - iy;
    sumX += static_cast<std::int64_t>(ix);
    sumY += static_cast<std::int64_t>(iy);
  }
  // The pointer steered by motion is a pointer moving: a pull waiting for it to rest is dropped,
  // as it is for a move that is not snapped, so that it never jumps while a client steers.
  if (events_ && (sumX != 0 || sumY != 0)) snapSession_.cancel();
  sendMouse(makeMouseReport(mergedButtons(), sumX, sumY, 0), false);
  storeRestReport();
}

}  // namespace virelo
