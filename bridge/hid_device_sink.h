// The "corehid" sink: three virtual HID devices (keyboard, mouse, media keys), each with the
// delegate that keeps its last input report for the host's get-report requests.
//
// Threads: every operation on the main thread; the delegates are shared with the device host's
// threads, each under its own lock.
#pragma once

#include <memory>

#include "bridge/report_delegate.h"
#include "bridge/report_sink.h"
#include "platform/virtual_hid.h"

namespace virelo {

class HidDeviceSink final : public ReportSink {
 public:
  // `devices` (may be null: then start() fails) must outlive this object.
  explicit HidDeviceSink(HidDeviceService* devices);
  ~HidDeviceSink() override;

  const SinkLimits& limits() const override;
  // Creates and activates the devices. Throws FailureError(authorizationRequired) when any is
  // missing.
  bool start() override;
  void keyboard(const KeyboardReport& report, bool fn, std::uint64_t now) override;
  void consumer(const ConsumerReport& report, std::uint64_t now) override;
  void mouse(const MouseReport& report, std::uint64_t now, bool snap) override;
  void restingMouse(const MouseReport& report) override;
  std::optional<bool> permitted() override { return std::nullopt; }
  void releaseAll() override {}
  void stop() override {}

  ReportDelegate& keyboardDelegate() { return keyboardDelegate_; }
  ReportDelegate& mouseDelegate() { return mouseDelegate_; }
  ReportDelegate& consumerDelegate() { return consumerDelegate_; }

 private:
  // The delegates are declared before the devices so that they outlive them: the host may call a
  // delegate until its device is gone.
  ReportDelegate keyboardDelegate_{kKeyboardReportSize, true};
  ReportDelegate mouseDelegate_{kMouseReportSize, false};
  ReportDelegate consumerDelegate_{kConsumerReportSize, false};
  HidDeviceService* devices_;
  std::unique_ptr<HidVirtualDevice> keyboard_;
  std::unique_ptr<HidVirtualDevice> mouse_;
  std::unique_ptr<HidVirtualDevice> consumer_;
};

}  // namespace virelo
