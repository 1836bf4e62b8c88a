#include "targets/snap_target_finder.h"

#include <cmath>
#include <exception>

#include "targets/sample_rings.h"

namespace virelo {

std::shared_ptr<SnapTargetFinder> SnapTargetFinder::create(SnapTargetPlatform platform) {
  auto finder = std::make_shared<SnapTargetFinder>(Passkey{}, platform);
  finder->self_ = finder;
  return finder;
}

SnapTargetFinder::SnapTargetFinder(Passkey, SnapTargetPlatform platform)
    : platform_(platform),
      webApps_(platform.applications),
      system_(platform.accessibility.systemWide()),
      ownPID_(platform.applications.ownProcessID()),
      scan_(platform.accessibility, platform.windowList, platform.displays, webApps_, system_,
            ownPID_, &stopping_),
      queue_(kQueueLabel) {
  platform_.accessibility.setMessagingTimeout(system_, kMessagingTimeout);
}

SnapTargetFinder::~SnapTargetFinder() {
  stopping_ = true;
  queue_.stop();
}

std::vector<Rect> SnapTargetFinder::targets() {
  std::lock_guard<std::mutex> guard(lock_);
  return found_;
}

void SnapTargetFinder::refresh(Point around, std::uint64_t now) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (busy_) return;
    double d = std::hypot(around.x - askedPoint_.x, around.y - askedPoint_.y);
    std::uint64_t e = now - askedAt_;
    if (e < kMinNearIntervalNS || !(d >= kMinNearDistance || e >= kNearRepeatNS)) return;
    busy_ = true;
    askedAt_ = now;
    askedPoint_ = around;
  }
  // The item holds the finder weakly and never takes a strong reference: the finder's
  // destructor waits for a running item, so `finder` stays valid while the item runs.
  queue_.submit([weak = self_, finder = this, around] {
    if (weak.expired()) return;
    finder->publishNear(finder->search(around, nearRing(), kNearMargin));
  });
}

void SnapTargetFinder::scanWide(Point around) {
  std::int64_t turn;
  {
    std::lock_guard<std::mutex> guard(lock_);
    turn = ++wideTurn_;
    wide_.reset();
  }
  queue_.submit([weak = self_, finder = this, around, turn] {
    if (weak.expired()) return;
    finder->publishWide(turn, finder->search(around, wideRing(), kWideMargin));
  });
}

std::optional<std::vector<Rect>> SnapTargetFinder::takeWide() {
  std::lock_guard<std::mutex> guard(lock_);
  std::optional<std::vector<Rect>> r = std::move(wide_);
  wide_.reset();
  return r;
}

std::vector<Rect> SnapTargetFinder::search(Point around, const std::vector<Vector>& ring,
                                           double margin) {
  try {
    if (!platform_.accessibility.isProcessTrusted()) return {};
    return scan_.scan(around, ring, margin);
  } catch (const std::exception&) {
    // A platform layer that throws is treated like one that answers nothing.
    return {};
  }
}

void SnapTargetFinder::publishNear(std::vector<Rect> found) {
  std::lock_guard<std::mutex> guard(lock_);
  found_ = std::move(found);
  busy_ = false;
}

void SnapTargetFinder::publishWide(std::int64_t turn, std::vector<Rect> found) {
  std::lock_guard<std::mutex> guard(lock_);
  if (turn == wideTurn_) wide_ = std::move(found);
}

}  // namespace virelo
