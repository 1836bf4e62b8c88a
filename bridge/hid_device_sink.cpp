#include "bridge/hid_device_sink.h"

#include "bridge/device_properties.h"
#include "core/event_emitter.h"
#include "core/failure.h"
#include "virelo/protocol/limits.h"

namespace virelo {
namespace {

// Sends one report: the delegate keeps it first, so that a get-report during the dispatch
// already sees it.
void dispatch(HidVirtualDevice* device, ReportDelegate& delegate,
              std::span<const std::uint8_t> report, std::uint64_t now) {
  if (device == nullptr) throw FailureError(Failure::dispatchFailed);
  delegate.storeInput(report);
  device->dispatchInputReport(report, now);
}

}  // namespace

HidDeviceSink::HidDeviceSink(HidDeviceService* devices) : devices_(devices) {}

HidDeviceSink::~HidDeviceSink() = default;

const SinkLimits& HidDeviceSink::limits() const {
  static const SinkLimits limits{protocol::kMaxButtonsCorehid, false, errors::notReady, true};
  return limits;
}

bool HidDeviceSink::start() {
  if (devices_ != nullptr) {
    keyboard_ = devices_->create(keyboardProperties());
    mouse_ = devices_->create(mouseProperties());
    consumer_ = devices_->create(mediaProperties());
  }
  if (!keyboard_ || !mouse_ || !consumer_) throw FailureError(Failure::authorizationRequired);
  keyboard_->activate(keyboardDelegate_);
  mouse_->activate(mouseDelegate_);
  consumer_->activate(consumerDelegate_);
  return true;
}

void HidDeviceSink::keyboard(const KeyboardReport& report, bool, std::uint64_t now) {
  dispatch(keyboard_.get(), keyboardDelegate_, report, now);
}

void HidDeviceSink::consumer(const ConsumerReport& report, std::uint64_t now) {
  dispatch(consumer_.get(), consumerDelegate_, report, now);
}

void HidDeviceSink::mouse(const MouseReport& report, std::uint64_t now, bool) {
  dispatch(mouse_.get(), mouseDelegate_, report, now);
}

void HidDeviceSink::restingMouse(const MouseReport& report) {
  mouseDelegate_.storeInput(report);
}

}  // namespace virelo
