#include "bridge/bridge.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "bridge/device_properties.h"
#include "core/failure.h"
#include "core/monotonic_clock.h"

namespace virelo {

Bridge::Bridge(BridgeParts parts)
    : lifetime_(*parts.lifetime),
      backend_(parts.backend),
      emitter_(*parts.emitter),
      eventOutput_(std::move(parts.eventOutput)),
      devices_(parts.devices),
      parentFd_(parts.parentFd),
      clock_(parts.clock ? std::move(parts.clock) : Clock(&monotonicNS)),
      snapSession_(std::move(parts.targetSource)) {
  if (eventOutput_) {
    eventOutput_->setSnapStep(
        [this](Point current, Vector delta, bool dragging, std::uint64_t now) {
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

void Bridge::stopCheckThenPrune() {
  if (lifetime_.stopping()) throw FailureError(Failure::parentStopped);
  pollAndPrune(true);
}

void Bridge::markProgress() {
  lifetime_.markProgress(clock_());
}

void Bridge::pruneDisconnected() {
  pollAndPrune(false);
}

void Bridge::pollAndPrune(bool parent) {
  // One poll with zero timeout: standard input first when the stop check asks for it, then every
  // client. Readable data on standard input is not a stop; a hang-up or an error is, and it is
  // acted on before any client is looked at, as if standard input had been polled on its own.
  std::array<pollfd, 1 + 16> fds{};
  std::size_t n = 0;
  if (parent) fds[n++] = {parentFd_, POLLIN, 0};
  const std::size_t firstClient = n;
  for (const auto& [fd, owner] : owners_) {
    if (n == fds.size()) break;
    fds[n++] = {fd, POLLIN, 0};
  }
  if (n == 0) return;
  int ready;
  do {
    ready = ::poll(fds.data(), n, 0);
  } while (ready < 0 && errno == EINTR);
  if (parent && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) {
    throw FailureError(Failure::parentStopped);
  }
  // The dead-client test: an error condition, or else a peek that finds the end of the stream.
  // Without readability the peek would only find that it has to wait, and bytes that an earlier
  // peek found are still waiting until the next receive: in both cases the client is alive, and
  // the peek is skipped.
  std::array<int, 16> dead{};
  std::size_t deadCount = 0;
  for (std::size_t i = firstClient; i < n; ++i) {
    if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      dead[deadCount++] = fds[i].fd;
      continue;
    }
    if (!(fds[i].revents & POLLIN)) continue;
    Owner& owner = owners_.at(fds[i].fd);
    if (owner.bytesWaiting) continue;
    char byte;
    ssize_t got = ::recv(fds[i].fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got > 0) {
      owner.bytesWaiting = true;
    } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      dead[deadCount++] = fds[i].fd;
    }
  }
  for (std::size_t i = 0; i < deadCount; ++i) {
    if (owners_.erase(dead[i]) != 0) ::close(dead[i]);
    pendingRelease_ = true;
  }
}

void Bridge::held() {
  if (!ready_) return;
  stopCheckThenPrune();
  MergedInput m = mergeInput(owners_);
  KeyboardReport keyboard = makeKeyboardReport(m.modifiers, m.keys);
  if (eventOutput_) {
    eventOutput_->keyboard(keyboard, m.fn, clock_());
    emitFnState();
    markProgress();
  } else {
    if (!keyboard_) throw FailureError(Failure::dispatchFailed);
    keyboardDelegate_.storeInput(keyboard);
    keyboard_->dispatchInputReport(keyboard, clock_());
    markProgress();
  }
  if (!ready_) return;
  stopCheckThenPrune();
  ConsumerReport consumer = consumerReport();
  if (eventOutput_) {
    eventOutput_->consumer(consumer);
    markProgress();
  } else {
    if (!consumer_) throw FailureError(Failure::dispatchFailed);
    consumerDelegate_.storeInput(consumer);
    consumer_->dispatchInputReport(consumer, clock_());
    markProgress();
  }
}

ConsumerReport Bridge::consumerReport() const {
  ConsumerSet consumers;
  for (const auto& [fd, owner] : owners_) consumers |= owner.consumers;
  return makeConsumerReport(consumers);
}

void Bridge::sendMouse(const MouseReport& report, bool snap) {
  if (eventOutput_) {
    eventOutput_->pointing(report, clock_(), snap);
    markProgress();
  } else {
    if (!mouse_) throw FailureError(Failure::dispatchFailed);
    mouseDelegate_.storeInput(report);
    mouse_->dispatchInputReport(report, clock_());
    markProgress();
  }
}

void Bridge::storeRestReport() {
  MouseReport rest{mergedButtons(), 0, 0, 0};
  mouseDelegate_.storeInput(rest);
}

void Bridge::pointing(std::int64_t dx, std::int64_t dy, std::int64_t wheel,
                      std::optional<int> source, bool snap) {
  if (ready_) {
    stopCheckThenPrune();
    if (!source || owners_.count(*source) != 0) {
      sendMouse(makeMouseReport(mergedButtons(), dx, dy, wheel), snap);
    }
  }
  storeRestReport();
}

void Bridge::clear() {
  for (auto& [fd, owner] : owners_) owner.reset();
  held();
  pointing(0, 0, 0, std::nullopt, false);
}

nlohmann::json Bridge::status() const {
  nlohmann::json status = {
      {"ok", ready_}, {"ready", ready_}, {"backend", rawValue(backend_)}, {"protocol", 1}};
  if (!ready_) {
    status["error"] =
        backend_ == InputBackend::cgevent ? errors::accessibilityRequired : errors::notReady;
  }
  return status;
}

void Bridge::emitFnState() {
  if (!eventOutput_) return;
  FnSnapshot tap = eventOutput_->fnSnapshot();
  bool held = tap.held && ready_;
  if (lastFnHeld_ == held && lastFnReady_ == tap.ready) return;
  lastFnHeld_ = held;
  lastFnReady_ = tap.ready;
  emitter_.emit({{"type", "fn_state"},
                 {"held", held},
                 {"bridgeReady", tap.ready},
                 {"backend", rawValue(backend_)}});
}

void Bridge::start() {
  if (backend_ == InputBackend::corehid) {
    startDevices();
    return;
  }
  ready_ = eventOutput_ && eventOutput_->permitted();
  if (eventOutput_) eventOutput_->startTap();
}

void Bridge::startDevices() {
  if (devices_ != nullptr) {
    keyboard_ = devices_->create(keyboardProperties());
    mouse_ = devices_->create(mouseProperties());
    consumer_ = devices_->create(mediaProperties());
  }
  if (!keyboard_ || !mouse_ || !consumer_) throw FailureError(Failure::authorizationRequired);
  keyboard_->activate(keyboardDelegate_);
  mouse_->activate(mouseDelegate_);
  consumer_->activate(consumerDelegate_);
  ready_ = true;
  held();
  pointing(0, 0, 0, std::nullopt, false);
}

}  // namespace virelo
