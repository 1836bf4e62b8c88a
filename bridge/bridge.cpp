#include "bridge/bridge.h"

#include "bridge/event_output_sink.h"
#include "bridge/hid_device_sink.h"
#include "core/monotonic_clock.h"
#include "virelo/protocol/limits.h"
#include "virelo/protocol/names.h"

namespace virelo {

namespace {

std::unique_ptr<ReportSink> sinkOf(BridgeParts& parts) {
  if (parts.sink) return std::move(parts.sink);
  if (parts.backend == InputBackend::cgevent) {
    return std::make_unique<EventOutputSink>(std::move(parts.eventOutput));
  }
  return std::make_unique<HidDeviceSink>(parts.devices);
}

}  // namespace

Bridge::Bridge(BridgeParts parts)
    : sink_(sinkOf(parts)),
      events_(sink_->events()),
      lifetime_(*parts.lifetime),
      backend_(parts.backend),
      emitter_(*parts.emitter),
      clock_(parts.clock ? std::move(parts.clock) : Clock(&monotonicNS)),
      snapSession_(std::move(parts.targetSource), parts.deskScale) {
  if (events_) {
    events_->setSnapStep([this](Point current, Vector delta, bool dragging, std::uint64_t now) {
      return snapSession_.move(current, delta, dragging, now);
    });
  }
}

Bridge::~Bridge() = default;

std::uint8_t Bridge::mergedButtons() const {
  std::int64_t buttons = 0;
  for (const auto& [fd, owner] : owners_) buttons |= owner.buttons;
  return static_cast<std::uint8_t>(buttons);
}

bool Bridge::stopCheckThenPrune() {
  if (!stopped_) {
    stopped_ = lifetime_.stopping() || (clientCheck_ != nullptr && !clientCheck_->check());
  }
  return !stopped_;
}

void Bridge::markProgress() {
  lifetime_.markProgress(clock_());
}

void Bridge::addClient(int fd) {
  owners_.emplace(fd, Owner());
}

void Bridge::removeClient(int fd, Release release) {
  owners_.erase(fd);
  if (release == Release::pending) {
    pendingRelease_ = true;
  } else {
    resend();
  }
}

void Bridge::held() {
  if (!ready_ || !stopCheckThenPrune()) return;
  MergedInput m = mergeInput(owners_);
  sink_->keyboard(makeKeyboardReport(m.modifiers, m.keys), m.fn, clock_());
  emitFnState();
  markProgress();
  if (!ready_ || !stopCheckThenPrune()) return;
  sink_->consumer(consumerReport(), clock_());
  markProgress();
}

void Bridge::resend() {
  held();
  if (stopped_) return;
  pointing(0, 0, 0, std::nullopt, false);
}

void Bridge::releasePending() {
  if (!pendingRelease_) return;
  pendingRelease_ = false;
  resend();
}

bool Bridge::applyPermission() {
  std::optional<bool> permitted = sink_->permitted();
  if (!permitted || *permitted == ready_) return false;
  sink_->releaseAll();
  for (auto& [fd, owner] : owners_) owner.reset();
  ready_ = *permitted;
  return true;
}

void Bridge::shutDown() {
  sink_->stop();
}

ConsumerReport Bridge::consumerReport() const {
  ConsumerSet consumers;
  for (const auto& [fd, owner] : owners_) consumers |= owner.consumers;
  return makeConsumerReport(consumers);
}

void Bridge::sendMouse(const MouseReport& report, bool snap) {
  sink_->mouse(report, clock_(), snap);
  markProgress();
}

void Bridge::storeRestReport() {
  sink_->restingMouse(MouseReport{mergedButtons(), 0, 0, 0});
}

void Bridge::pointing(std::int64_t dx, std::int64_t dy, std::int64_t wheel,
                      std::optional<int> source, bool snap) {
  if (stopped_) return;
  if (ready_) {
    if (!stopCheckThenPrune()) return;
    if (!source || owners_.count(*source) != 0) {
      sendMouse(makeMouseReport(mergedButtons(), dx, dy, wheel), snap);
    }
  }
  storeRestReport();
}

void Bridge::clear() {
  for (auto& [fd, owner] : owners_) owner.reset();
  // The stop's own release goes out without the stop check, which by now finds the service
  // stopping: the output is still there, and the devices must not go while a key is down on them.
  if (!ready_) return;
  sink_->keyboard(makeKeyboardReport(0, KeySet{}), false, clock_());
  markProgress();
  sink_->consumer(consumerReport(), clock_());
  markProgress();
  sendMouse(makeMouseReport(0, 0, 0, 0), false);
  storeRestReport();
}

nlohmann::json Bridge::status() const {
  nlohmann::json status = {{protocol::replies::ok, ready_},
                           {protocol::replies::ready, ready_},
                           {protocol::replies::backend, rawValue(backend_)},
                           {protocol::replies::protocol, protocol::kVersion}};
  if (!ready_) status[protocol::replies::error] = sink_->limits().notReadyError;
  return status;
}

void Bridge::emitFnState() {
  if (!events_ || stopped_) return;
  FnSnapshot tap = events_->fnSnapshot();
  bool held = tap.held && ready_;
  if (lastFnHeld_ == held && lastFnReady_ == tap.ready) return;
  lastFnHeld_ = held;
  lastFnReady_ = tap.ready;
  emitter_.emit({{protocol::replies::type, protocol::events::fnState},
                 {protocol::replies::held, held},
                 {protocol::replies::bridgeReady, tap.ready},
                 {protocol::replies::backend, rawValue(backend_)}});
}

void Bridge::start() {
  ready_ = sink_->start();
  if (sink_->limits().sendsEmptyStateAtStart) resend();
}

}  // namespace virelo
