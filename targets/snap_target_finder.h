// The service's source of snap targets: clickable elements of other applications found by
// hit-testing the accessibility interface around a point. Near searches around the moving
// cursor are throttled (at most one per 60 ms, then only after 8 points of movement or 250 ms,
// never more than one pending) and read through targets(); wide searches around the resting
// cursor are taken once through takeWide(), and only the latest one's result is handed out. At
// most one wide search waits on the queue: a new request while one waits only moves it, so a
// wide search always starts with the latest request, and stale ones never run.
//
// The searches run on a private serial background queue; work items hold the finder weakly and
// do nothing once it is gone. create() hands the owner a handle of its own: when the owner lets
// go of it, the searches not yet started are discarded and a running one gives up before its
// next platform request, without being waited for. The running item holds the finder while it
// runs, so the finder may then be destroyed on the queue, when that item returns; the platform's
// `keepAlive` keeps the platform services alive until then.
//
// Distances are in the desk's logical points: on a scaled desk (`scale` pixels of the window
// server per point) the rings, margins and the 8-point throttle distance are multiplied by the
// scale, so that a search covers what it covers on an unscaled desk. Requests and results are in
// the window server's pixels.
//
// Threads: create(), targets(), refresh(), scanWide(), takeWide() and the release of the owner's
// handle are called from the service's main thread and never wait for a search; they exchange
// requests and results with the queue under `lock_`, which is held only for a few field reads or
// writes, never during a search. The scan, the window and display snapshots, the web-application
// cache and every platform call except the two made at construction run only on the queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/geometry.h"
#include "snapping/snap_target_source.h"
#include "targets/accessibility_scan.h"
#include "targets/serial_queue.h"
#include "targets/snap_target_platform.h"
#include "targets/web_app_detector.h"

namespace virelo {

class SnapTargetFinder final : public SnapTargetSource {
 public:
  static constexpr const char* kQueueLabel = "org.virelo.snap-targets";
  // Every accessibility request of the process fails after this long without an answer.
  static constexpr float kMessagingTimeout = 0.05f;
  static constexpr std::uint64_t kMinNearIntervalNS = 60'000'000;
  static constexpr double kMinNearDistance = 8;
  static constexpr std::uint64_t kNearRepeatNS = 250'000'000;
  static constexpr double kNearMargin = 24;
  static constexpr double kWideMargin = 36;

  // A new finder for a desk of that scale (pixels per logical point; a value that is not
  // positive counts as 1). Takes the system-wide element and this process's id, and sets the
  // messaging timeout on the system-wide element.
  static std::shared_ptr<SnapTargetFinder> create(SnapTargetPlatform platform, double scale = 1);
  ~SnapTargetFinder() override;
  SnapTargetFinder(const SnapTargetFinder&) = delete;
  SnapTargetFinder& operator=(const SnapTargetFinder&) = delete;

  std::vector<Rect> targets() override;
  void refresh(Point around, std::uint64_t now) override;
  void scanWide(Point around) override;
  std::optional<std::vector<Rect>> takeWide() override;

  // Blocks until every search queued so far has finished and published (returns at once once the
  // owner let go): for a one-off search (virelo targets) and for tests.
  void drain() { queue_.waitIdle(); }

 private:
  struct Passkey {};

 public:
  SnapTargetFinder(Passkey, SnapTargetPlatform platform, double scale);

 private:
  // Runs on the queue. Empty without accessibility permission.
  std::vector<Rect> search(Point around, const std::vector<Vector>& ring, double margin);
  // Runs on the queue: the wide search of the latest request.
  void searchWide();
  // Discards the searches not yet started and makes a running one give up, without waiting.
  void abandon();
  void publishNear(std::vector<Rect> found);
  void publishWide(std::int64_t turn, std::vector<Rect> found);

  SnapTargetPlatform platform_;
  std::weak_ptr<SnapTargetFinder> self_;
  // The desk's scale and the rings in pixels; fixed at construction.
  const double scale_;
  const std::vector<Vector> nearRing_;
  const std::vector<Vector> wideRing_;

  std::mutex lock_;
  std::vector<Rect> found_;                // guarded by lock_
  bool busy_ = false;                      // guarded by lock_
  std::uint64_t askedAt_ = 0;              // guarded by lock_
  Point askedPoint_{-100000, -100000};     // guarded by lock_
  std::optional<std::vector<Rect>> wide_;  // guarded by lock_
  std::int64_t wideTurn_ = 0;              // guarded by lock_
  Point wideAround_;                       // guarded by lock_: where the latest request asks
  bool widePending_ = false;               // guarded by lock_: a wide item waits on the queue

  // Set when the owner lets go; read by a running scan.
  std::atomic<bool> stopping_{false};

  // Used only on the queue.
  WebAppDetector webApps_;
  ElementRef system_;
  std::int32_t ownPID_;
  AccessibilityScan scan_;

  // Declared last: started once everything its items use exists.
  SerialQueue queue_;
};

}  // namespace virelo
