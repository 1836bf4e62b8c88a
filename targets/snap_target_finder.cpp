#include "targets/snap_target_finder.h"

#include <cmath>
#include <exception>

#include "targets/sample_rings.h"

namespace virelo {

namespace {

std::vector<Vector> scaled(const std::vector<Vector>& ring, double scale) {
  std::vector<Vector> offsets;
  for (const Vector& o : ring) offsets.push_back({o.dx * scale, o.dy * scale});
  return offsets;
}

}  // namespace

std::shared_ptr<SnapTargetFinder> SnapTargetFinder::create(SnapTargetPlatform platform,
                                                           double scale) {
  auto finder = std::make_shared<SnapTargetFinder>(Passkey{}, platform, scale > 0 ? scale : 1);
  finder->self_ = finder;
  // The owner's handle: releasing its last copy abandons the searches and lets go of the finder,
  // which a running search still holds until it returns.
  return std::shared_ptr<SnapTargetFinder>(finder.get(),
                                           [finder](SnapTargetFinder* released) mutable {
                                             released->abandon();
                                             finder.reset();
                                           });
}

SnapTargetFinder::SnapTargetFinder(Passkey, SnapTargetPlatform platform, double scale)
    : platform_(platform),
      scale_(scale),
      nearRing_(scaled(nearRing(), scale)),
      wideRing_(scaled(wideRing(), scale)),
      webApps_(platform.applications),
      system_(platform.accessibility.systemWide()),
      ownPID_(platform.applications.ownProcessID()),
      scan_(platform.accessibility, platform.windowList, platform.displays, webApps_, system_,
            ownPID_, &stopping_, scale),
      queue_(kQueueLabel) {
  platform_.accessibility.setMessagingTimeout(system_, kMessagingTimeout);
}

// Runs on the owner's thread when no search holds the finder, otherwise on the queue when the
// abandoned search returns; the queue's worker then ends on its own.
SnapTargetFinder::~SnapTargetFinder() {
  stopping_ = true;
  queue_.stop();
}

void SnapTargetFinder::abandon() {
  stopping_ = true;
  queue_.abandon();
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
    if (e < kMinNearIntervalNS || !(d >= kMinNearDistance * scale_ || e >= kNearRepeatNS)) return;
    busy_ = true;
    askedAt_ = now;
    askedPoint_ = around;
  }
  queue_.submit([weak = self_, around] {
    if (auto finder = weak.lock()) {
      finder->publishNear(finder->search(around, finder->nearRing_, kNearMargin * finder->scale_));
    }
  });
}

void SnapTargetFinder::scanWide(Point around) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    ++wideTurn_;
    wide_.reset();
    wideAround_ = around;
    if (widePending_) return;  // the waiting item will search around this point
    widePending_ = true;
  }
  queue_.submit([weak = self_] {
    if (auto finder = weak.lock()) finder->searchWide();
  });
}

void SnapTargetFinder::searchWide() {
  Point around;
  std::int64_t turn;
  {
    std::lock_guard<std::mutex> guard(lock_);
    around = wideAround_;
    turn = wideTurn_;
    widePending_ = false;
  }
  publishWide(turn, search(around, wideRing_, kWideMargin * scale_));
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
