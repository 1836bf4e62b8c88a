// A person steering slowly toward a control: the session must know the control before the
// cursor enters its band, so that it is captured on entering it, on unscaled and scaled desks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "snapping/snap_session.h"
#include "tests/snapping/geometry_printers.h"
#include "tests/snapping/snap_test_scene.h"

namespace virelo {
namespace {

using namespace snaptest;

// A near search as the service's finder makes it, reduced to what decides when a target becomes
// known: it finds the targets within a band's width (24 points) of the point asked about, one
// search at a time, at most one per 60 ms and then only 8 points from the previous one (or after
// 250 ms), and publishes its result `latency` after it was asked. Distances scale with the desk.
class ModelNearSearch final : public SnapTargetSource {
 public:
  ModelNearSearch(std::vector<Rect> desk, double scale, std::uint64_t latency,
                  const std::uint64_t& clock)
      : desk_(std::move(desk)), scale_(scale), latency_(latency), clock_(clock) {}

  std::vector<Rect> targets() override {
    if (pending_ && clock_ >= dueAt_) {
      found_.clear();
      for (const Rect& r : desk_) {
        if (distance(*pending_, r) <= 24 * scale_) found_.push_back(r);
      }
      pending_.reset();
    }
    return found_;
  }
  void refresh(Point around, std::uint64_t now) override {
    if (pending_) return;
    const double moved = std::hypot(around.x - askedPoint_.x, around.y - askedPoint_.y);
    const std::uint64_t since = now - askedAt_;
    if (since < 60 * kMs || !(moved >= 8 * scale_ || since >= 250 * kMs)) return;
    askedAt_ = now;
    askedPoint_ = around;
    pending_ = around;
    dueAt_ = now + latency_;
  }
  void scanWide(Point) override {}
  std::optional<std::vector<Rect>> takeWide() override { return std::nullopt; }

 private:
  static double distance(Point p, const Rect& r) {
    const double dx = std::max({r.minX() - p.x, 0.0, p.x - r.maxX()});
    const double dy = std::max({r.minY() - p.y, 0.0, p.y - r.maxY()});
    return std::hypot(dx, dy);
  }

  std::vector<Rect> desk_;
  double scale_;
  std::uint64_t latency_;
  const std::uint64_t& clock_;
  std::vector<Rect> found_;
  std::optional<Point> pending_;
  std::uint64_t dueAt_ = 0;
  std::uint64_t askedAt_ = 0;
  Point askedPoint_{-100000, -100000};
};

// Speed (points per second), heading in degrees, and the desk's scale.
using Approach = std::tuple<double, double, double>;

class SlowApproach : public ::testing::TestWithParam<Approach> {};

TEST_P(SlowApproach, IsCapturedOnEnteringTheTargetsBand) {
  const auto [speed, degrees, scale] = GetParam();
  // A button of 120 x 30 points (240 x 60 pixels at scale 2), its centre 200 points from where
  // the approach starts; a search takes 30 ms, about what a near search of a GTK desktop takes.
  const Point centre{400 * scale, 400 * scale};
  const Rect button =
      makeRect(centre.x - 60 * scale, centre.y - 15 * scale, 120 * scale, 30 * scale);
  const Rect band = button.grown(24 * scale);
  const double a = degrees * std::acos(-1.0) / 180;
  const Point start{centre.x - 200 * scale * std::cos(a), centre.y - 200 * scale * std::sin(a)};

  std::uint64_t now = 1'000'000'000;
  auto source = std::make_shared<ModelNearSearch>(std::vector<Rect>{button}, scale, 30 * kMs, now);
  SnapSession session(source, scale);
  // The client integrates its speed and sends the whole pixels of each tick as a snapped move.
  Point cursor = start;
  std::optional<Point> capturedFrom;
  for (int tick = 1; tick < 2000 && !capturedFrom; ++tick) {
    now += kTick;
    const double travelled = speed * scale * tick * kTick / 1e9;
    const Point aim{std::trunc(start.x + travelled * std::cos(a)),
                    std::trunc(start.y + travelled * std::sin(a))};
    const Vector delta{aim.x - cursor.x, aim.y - cursor.y};
    if (delta.dx == 0 && delta.dy == 0) continue;
    const Point landed = session.move(cursor, delta, false, now);
    if (landed == centre) capturedFrom = cursor;
    ASSERT_TRUE(capturedFrom || landed == aim) << "jumped to " << ::testing::PrintToString(landed);
    cursor = landed;
  }
  ASSERT_TRUE(capturedFrom) << "never captured";
  // The move that snapped (a step of a pixel or two) started outside the band.
  EXPECT_FALSE(band.contains(*capturedFrom)) << ::testing::PrintToString(*capturedFrom);
}

std::string approachName(const ::testing::TestParamInfo<Approach>& info) {
  const auto [speed, degrees, scale] = info.param;
  return std::to_string(static_cast<int>(speed)) + "PointsPerSecondAt" +
         std::to_string(static_cast<int>(degrees)) + "DegreesScale" +
         std::to_string(static_cast<int>(scale));
}

INSTANTIATE_TEST_SUITE_P(StraightAndDiagonal, SlowApproach,
                         ::testing::Combine(::testing::Values(50.0, 300.0),
                                            ::testing::Values(0.0, 45.0, 20.0),
                                            ::testing::Values(1.0, 2.0)),
                         approachName);

}  // namespace
}  // namespace virelo
