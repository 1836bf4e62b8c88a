// A target source whose answers the test scripts: the near targets it publishes, and when the
// latest wide search finishes and with what. It records every refresh and wide request, and
// follows the source contract: a new wide request discards any result not taken yet and any
// earlier request still running; taking a result clears it.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "snapping/snap_target_source.h"

namespace virelo {

class ScriptedTargetSource : public SnapTargetSource {
 public:
  struct Refresh {
    Point around;
    std::uint64_t now;
  };

  // What targets() returns.
  std::vector<Rect> near;

  std::vector<Refresh> refreshes;
  std::vector<Point> wideRequests;
  int takeWideCalls = 0;

  // Finishes the wide search requested last, if one is still running.
  void finishWide(std::vector<Rect> result) {
    if (!running_) return;
    running_ = false;
    ready_ = std::move(result);
  }
  bool wideRunning() const { return running_; }
  bool wideReady() const { return ready_.has_value(); }

  std::vector<Rect> targets() override { return near; }
  void refresh(Point around, std::uint64_t now) override { refreshes.push_back({around, now}); }
  void scanWide(Point around) override {
    wideRequests.push_back(around);
    ready_.reset();
    running_ = true;
  }
  std::optional<std::vector<Rect>> takeWide() override {
    ++takeWideCalls;
    return std::exchange(ready_, std::nullopt);
  }

 private:
  bool running_ = false;
  std::optional<std::vector<Rect>> ready_;
};

}  // namespace virelo
