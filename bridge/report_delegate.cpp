#include "bridge/report_delegate.h"

namespace virelo {
namespace {

void refuseReportID(std::optional<std::uint8_t> id) {
  if (id && *id != 0) throw HidDeviceError(HidDeviceError::Kind::unsupported);
}

}  // namespace

void ReportDelegate::setReport(HidReportType type, std::optional<std::uint8_t> id,
                               std::span<const std::uint8_t> data) {
  refuseReportID(id);
  if (type == HidReportType::output && hasLEDs_ && data.size() == 1) {
    std::lock_guard<std::mutex> guard(lock_);
    leds_ = data[0] & 0x1F;
    return;
  }
  throw HidDeviceError(HidDeviceError::Kind::unsupported);
}

std::vector<std::uint8_t> ReportDelegate::getReport(HidReportType type,
                                                    std::optional<std::uint8_t> id,
                                                    std::size_t maxSize) {
  refuseReportID(id);
  std::vector<std::uint8_t> result;
  if (type == HidReportType::input) {
    result = input();
  } else if (type == HidReportType::output && hasLEDs_) {
    result = {leds()};
  } else {
    throw HidDeviceError(HidDeviceError::Kind::unsupported);
  }
  if (result.size() > maxSize) throw HidDeviceError(HidDeviceError::Kind::messageTooLarge);
  return result;
}

void ReportDelegate::storeInput(std::span<const std::uint8_t> report) {
  std::lock_guard<std::mutex> guard(lock_);
  input_.assign(report.begin(), report.end());
}

std::vector<std::uint8_t> ReportDelegate::input() const {
  std::lock_guard<std::mutex> guard(lock_);
  return input_;
}

std::uint8_t ReportDelegate::leds() const {
  std::lock_guard<std::mutex> guard(lock_);
  return leds_;
}

}  // namespace virelo
