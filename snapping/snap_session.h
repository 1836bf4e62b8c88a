// Placeholder snap session that never snaps; the cursor snapper and session replace it.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "snapping/snap_target_source.h"

namespace virelo {

class SnapSession {
 public:
  explicit SnapSession(std::shared_ptr<SnapTargetSource> source) : source_(std::move(source)) {}
  Point move(Point current, Vector delta, bool, std::uint64_t) {
    return {current.x + delta.dx, current.y + delta.dy};
  }
  void cancel() {}
  std::optional<Point> idle(std::uint64_t, const std::function<std::optional<Point>()>&, bool) {
    return std::nullopt;
  }

 private:
  std::shared_ptr<SnapTargetSource> source_;
};

}  // namespace virelo
