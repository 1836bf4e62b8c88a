// Output doubles for the connection fuzzer: a virtual-device service and an event output that
// only remember the last report of each kind, so that the fuzzer can check what the merged output
// still holds after a client is gone.
//
// Threads: everything here is used by the fuzzer's one thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bridge/reports.h"
#include "eventsynth/event_output.h"
#include "platform/virtual_hid.h"

namespace virelo::fuzz {

// The last report each output received, whichever backend delivered it.
struct LastReports {
  KeyboardReport keyboard{};
  MouseReport mouse{};
  ConsumerReport consumer{};
  bool fn = false;
  std::size_t delivered = 0;
};

class RecordingDevices final : public HidDeviceService {
 public:
  explicit RecordingDevices(LastReports& last) : last_(last) {}
  std::unique_ptr<HidVirtualDevice> create(const HidDeviceProperties& properties) override;

 private:
  LastReports& last_;
};

class RecordingEventOutput final : public EventOutput {
 public:
  explicit RecordingEventOutput(LastReports& last) : last_(last) {}

  bool permitted() override { return true; }
  void keyboard(std::span<const std::uint8_t> report, bool fn, std::uint64_t now) override;
  void consumer(std::span<const std::uint8_t> report) override;
  void pointing(std::span<const std::uint8_t> report, std::uint64_t now, bool snap) override;
  void repeatTick(std::uint64_t) override {}
  std::optional<Point> cursorLocation() override { return Point{100, 100}; }
  void moveCursor(Point) override {}
  void releaseAll() override {}
  void setSnapStep(SnapStep step) override { snapStep_ = std::move(step); }
  void startTap() override {}
  void stopTap() override {}
  FnSnapshot fnSnapshot() override { return {last_.fn, true}; }

 private:
  LastReports& last_;
  SnapStep snapStep_;
};

}  // namespace virelo::fuzz
