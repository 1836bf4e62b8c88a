#include "fuzz/recording_outputs.h"

#include <algorithm>
#include <cstdlib>

namespace virelo::fuzz {
namespace {

template <std::size_t N>
void copyReport(std::span<const std::uint8_t> from, std::array<std::uint8_t, N>& to) {
  // A report of the wrong size is a fault of the bridge: stop the fuzzer there.
  if (from.size() != N) std::abort();
  std::copy(from.begin(), from.end(), to.begin());
}

class RecordingDevice final : public HidVirtualDevice {
 public:
  RecordingDevice(LastReports& last, std::string name) : last_(last), name_(std::move(name)) {}

  void activate(HidVirtualDeviceDelegate&) override {}
  void dispatchInputReport(std::span<const std::uint8_t> report, std::uint64_t) override {
    if (name_ == "keyboard") {
      copyReport(report, last_.keyboard);
    } else if (name_ == "mouse") {
      copyReport(report, last_.mouse);
    } else {
      copyReport(report, last_.consumer);
    }
    ++last_.delivered;
  }

 private:
  LastReports& last_;
  std::string name_;
};

}  // namespace

std::unique_ptr<HidVirtualDevice> RecordingDevices::create(const HidDeviceProperties& properties) {
  const std::string& id = properties.uniqueID;
  std::string name = "media";
  if (id.ends_with("keyboard")) name = "keyboard";
  if (id.ends_with("mouse")) name = "mouse";
  return std::make_unique<RecordingDevice>(last_, name);
}

void RecordingEventOutput::keyboard(std::span<const std::uint8_t> report, bool fn, std::uint64_t) {
  copyReport(report, last_.keyboard);
  last_.fn = fn;
  ++last_.delivered;
}

void RecordingEventOutput::consumer(std::span<const std::uint8_t> report) {
  copyReport(report, last_.consumer);
  ++last_.delivered;
}

void RecordingEventOutput::pointing(std::span<const std::uint8_t> report, std::uint64_t now,
                                    bool snap) {
  copyReport(report, last_.mouse);
  ++last_.delivered;
  // Snapped moves go through the snap session as the real output does.
  if (snap && snapStep_) {
    Vector delta{static_cast<double>(static_cast<std::int8_t>(report[1])),
                 static_cast<double>(static_cast<std::int8_t>(report[2]))};
    snapStep_(Point{100, 100}, delta, report[0] != 0, now);
  }
}

}  // namespace virelo::fuzz
