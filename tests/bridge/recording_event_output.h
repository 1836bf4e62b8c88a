// An event output that records every call the bridge makes, with scripted answers for the
// posting permission, the Fn snapshot and the cursor position.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "eventsynth/event_output.h"

namespace virelo::testing {

struct OutputCall {
  std::string name;  // keyboard, consumer, pointing, repeatTick, moveCursor
  std::vector<std::uint8_t> report;
  bool flag = false;  // fn for keyboard, snap for pointing
  std::uint64_t now = 0;
  Point point;
};

class RecordingEventOutput final : public EventOutput {
 public:
  struct Script {
    bool permitted = true;
    FnSnapshot fn;
    std::optional<Point> cursor;
    bool tapStarted = false;
    bool tapStopped = false;
    bool snapStepSet = false;
    // The bridge's snap step, for a test to move as the event output does with a snapped move.
    SnapStep snapStep;
    std::vector<OutputCall> calls;
  };

  // The script outlives the output, so a test can look at it after the bridge took the output.
  explicit RecordingEventOutput(Script& script) : s_(script) {}

  bool permitted() override { return s_.permitted; }
  void keyboard(std::span<const std::uint8_t> report, bool fn, std::uint64_t now) override {
    s_.calls.push_back({"keyboard", {report.begin(), report.end()}, fn, now, {}});
  }
  void consumer(std::span<const std::uint8_t> report) override {
    s_.calls.push_back({"consumer", {report.begin(), report.end()}, false, 0, {}});
  }
  void pointing(std::span<const std::uint8_t> report, std::uint64_t now, bool snap) override {
    s_.calls.push_back({"pointing", {report.begin(), report.end()}, snap, now, {}});
  }
  void repeatTick(std::uint64_t now) override {
    s_.calls.push_back({"repeatTick", {}, false, now, {}});
  }
  std::optional<Point> cursorLocation() override { return s_.cursor; }
  void moveCursor(Point to) override { s_.calls.push_back({"moveCursor", {}, false, 0, to}); }
  void releaseAll() override { s_.calls.push_back({"releaseAll", {}, false, 0, {}}); }
  void setSnapStep(SnapStep step) override {
    s_.snapStepSet = true;
    s_.snapStep = std::move(step);
  }
  void startTap() override { s_.tapStarted = true; }
  void stopTap() override { s_.tapStopped = true; }
  FnSnapshot fnSnapshot() override { return s_.fn; }

 private:
  Script& s_;
};

// The calls of one name, in order.
inline std::vector<OutputCall> callsNamed(const RecordingEventOutput::Script& script,
                                          const std::string& name) {
  std::vector<OutputCall> out;
  for (const auto& call : script.calls) {
    if (call.name == name) out.push_back(call);
  }
  return out;
}

}  // namespace virelo::testing
