#include "bridge/event_output_sink.h"

#include "core/event_emitter.h"
#include "virelo/protocol/limits.h"

namespace virelo {

EventOutputSink::EventOutputSink(std::unique_ptr<EventOutput> output)
    : output_(std::move(output)) {}

const SinkLimits& EventOutputSink::limits() const {
  static const SinkLimits limits{protocol::kMaxButtonsCgevent, true, errors::accessibilityRequired,
                                 false};
  return limits;
}

bool EventOutputSink::start() {
  if (!output_) return false;
  const bool ready = output_->permitted();
  output_->startTap();
  return ready;
}

void EventOutputSink::keyboard(const KeyboardReport& report, bool fn, std::uint64_t now) {
  output_->keyboard(report, fn, now);
}

void EventOutputSink::consumer(const ConsumerReport& report, std::uint64_t) {
  output_->consumer(report);
}

void EventOutputSink::mouse(const MouseReport& report, std::uint64_t now, bool snap) {
  output_->pointing(report, now, snap);
}

std::optional<bool> EventOutputSink::permitted() {
  if (!output_) return std::nullopt;
  return output_->permitted();
}

void EventOutputSink::releaseAll() {
  if (output_) output_->releaseAll();
}

void EventOutputSink::stop() {
  if (!output_) return;
  output_->releaseAll();
  output_->stopTap();
}

}  // namespace virelo
