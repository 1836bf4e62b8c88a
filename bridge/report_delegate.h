// Keeps a virtual device's last input report and, for the keyboard, the LED byte the host wrote,
// and answers the host's get-report and set-report requests.
//
// Threads: the main thread replaces the input report; the host calls setReport/getReport on its
// own threads. `lock` guards both fields and is held only for the copy.
#pragma once

#include <mutex>
#include <span>
#include <vector>

#include "platform/virtual_hid.h"

namespace virelo {

class ReportDelegate final : public HidVirtualDeviceDelegate {
 public:
  ReportDelegate(std::size_t reportSize, bool hasLEDs) : input_(reportSize, 0), hasLEDs_(hasLEDs) {}

  void setReport(HidReportType type, std::optional<std::uint8_t> id,
                 std::span<const std::uint8_t> data) override;
  std::vector<std::uint8_t> getReport(HidReportType type, std::optional<std::uint8_t> id,
                                      std::size_t maxSize) override;

  // Main thread: the report most recently handed to the device.
  void storeInput(std::span<const std::uint8_t> report);
  std::vector<std::uint8_t> input() const;
  std::uint8_t leds() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::uint8_t> input_;
  std::uint8_t leds_ = 0;
  const bool hasLEDs_;
};

}  // namespace virelo
