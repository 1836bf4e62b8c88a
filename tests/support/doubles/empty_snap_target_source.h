// A snap target source that never has any targets.
#pragma once

#include <optional>
#include <vector>

#include "snapping/snap_target_source.h"

namespace virelo::testing {

class EmptySnapTargetSource final : public SnapTargetSource {
 public:
  std::vector<Rect> targets() override { return {}; }
  void refresh(Point, std::uint64_t) override {}
  void scanWide(Point) override {}
  std::optional<std::vector<Rect>> takeWide() override { return std::nullopt; }
};

}  // namespace virelo::testing
