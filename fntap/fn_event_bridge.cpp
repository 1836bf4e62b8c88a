#include "fntap/fn_event_bridge.h"

#include <pthread.h>

#include <limits>
#include <vector>

namespace virelo {
namespace {

void nameCurrentThread(const char* name) {
#ifdef __APPLE__
  pthread_setname_np(name);
#else
  pthread_setname_np(pthread_self(), name);
#endif
}

}  // namespace

const std::map<int, std::uint16_t>& FnEventBridge::mediaKeys() {
  static const std::map<int, std::uint16_t> table = {
      {kMediaKeyBrightnessDown, functionKeycode(1)}, {kMediaKeyBrightnessUp, functionKeycode(2)},
      {kMediaKeyPrevious, functionKeycode(7)},       {kMediaKeyPlay, functionKeycode(8)},
      {kMediaKeyNext, functionKeycode(9)},           {kMediaKeyMute, functionKeycode(10)},
      {kMediaKeySoundDown, functionKeycode(11)},     {kMediaKeySoundUp, functionKeycode(12)},
  };
  return table;
}

FnEventBridge::FnEventBridge(EventServices& services, FnTapClock clock)
    : services_(services), clock_(std::move(clock)) {}

FnEventBridge::~FnEventBridge() {
  bool stopping;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping = stopping_;
  }
  if (!stopping) stop();
  if (worker_.joinable()) worker_.join();
}

void FnEventBridge::start() {
  std::lock_guard<std::mutex> guard(lock_);
  if (worker_.joinable() || stopping_) return;
  // The thread takes the lock first thing, so it waits until worker_ is stored.
  worker_ = std::thread([this] {
    nameCurrentThread("vl-fn-events");
    run();
  });
}

void FnEventBridge::stop() {
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard<std::mutex> guard(lock_);
    held_ = false;
    lent_ = false;
    physicalHeld_ = false;
    available_ = false;
    stopping_ = true;
    passthroughMedia_.clear();
    loop = loop_;
  }
  if (loop) loop->stop();
  releaseConverted();
}

void FnEventBridge::setHeld(bool held) {
  std::lock_guard<std::mutex> guard(lock_);
  held_ = held;
  lent_ = held;
}

bool FnEventBridge::physicalFnHeld() {
  std::lock_guard<std::mutex> guard(lock_);
  return physicalHeld_;
}

FnSnapshot FnEventBridge::snapshot() {
  std::lock_guard<std::mutex> guard(lock_);
  if (held_) return {true, available_};
  if (available_) return {physicalHeld_, true};
  return {false, false};
}

bool FnEventBridge::isStopping() {
  std::lock_guard<std::mutex> guard(lock_);
  return stopping_;
}

void FnEventBridge::run() {
  TapThread thread{services_.currentRunLoop(), nullptr, nullptr,
                   -std::numeric_limits<double>::infinity()};
  {
    std::lock_guard<std::mutex> guard(lock_);
    loop_ = thread.loop;
  }
  if (!isStopping()) {
    for (;;) {
      if (services_.postEventAccess() && services_.listenEventAccess()) {
        passPermitted(thread);
      } else {
        withdrawTap(thread);
        clock_.sleep(kRunSliceSeconds);
      }
      if (isStopping()) break;
    }
    closeTap(thread);
  }

  std::lock_guard<std::mutex> guard(lock_);
  physicalHeld_ = false;
  available_ = false;
  loop_.reset();
  port_.reset();
}

void FnEventBridge::passPermitted(TapThread& thread) {
  if (thread.tap) {
    thread.loop->runFor(kRunSliceSeconds);
  } else if (clock_.now() >= thread.nextAttempt) {
    thread.nextAttempt = clock_.now() + kRetrySeconds;
    if (installTap(thread)) {
      thread.loop->runFor(kRunSliceSeconds);
    } else {
      clock_.sleep(kRunSliceSeconds);
    }
  } else {
    clock_.sleep(kRunSliceSeconds);
  }
}

bool FnEventBridge::installTap(TapThread& thread) {
  releaseConverted();
  thread.tap = services_.createTap(kTapEventMask, [this](std::uint32_t type, Event event) {
    return tapCallback(type, std::move(event));
  });
  if (thread.tap) thread.source = thread.tap->createRunLoopSource();
  if (!thread.tap || !thread.source) {
    if (thread.tap) thread.tap->invalidate();
    thread.tap.reset();
    return false;
  }
  thread.loop->addSource(thread.source);
  thread.tap->enable(true);
  std::lock_guard<std::mutex> guard(lock_);
  port_ = thread.tap;
  available_ = true;
  // The clients may still hold the Fn they lent before the tap went down.
  held_ = lent_;
  return true;
}

void FnEventBridge::closeTap(TapThread& thread) {
  if (thread.tap) {
    thread.tap->enable(false);
    thread.tap->invalidate();
  }
  if (thread.source) thread.loop->removeSource(thread.source);
}

void FnEventBridge::withdrawTap(TapThread& thread) {
  // A permission was withdrawn: take the tap down and forget the Fn states it kept.
  if (!thread.tap) return;
  closeTap(thread);
  {
    std::lock_guard<std::mutex> guard(lock_);
    held_ = false;
    physicalHeld_ = false;
    available_ = false;
    port_.reset();
    passthroughMedia_.clear();
  }
  thread.tap.reset();
  thread.source.reset();
}

Event FnEventBridge::tapCallback(std::uint32_t type, Event event) {
  if (type == kEventTapDisabledByTimeout || type == kEventTapDisabledByUserInput) {
    std::shared_ptr<EventTap> port;
    bool stopping;
    {
      std::lock_guard<std::mutex> guard(lock_);
      port = port_;
      stopping = stopping_;
    }
    if (port && !stopping && services_.postEventAccess()) port->enable(true);
    return event;
  }
  return process(type, std::move(event));
}

Event FnEventBridge::process(std::uint32_t type, Event event) {
  if (event.field(kFieldSourceUserData) == kEventTag) return event;

  std::lock_guard<std::mutex> guard(lock_);
  if (stopping_) return event;
  if (type == kEventFlagsChanged && event.field(kFieldKeyboardKeycode) == kFnKeycode) {
    physicalHeld_ = (event.flags & kFlagSecondaryFn) != 0;
  }
  if (isKeyboardEventType(type)) {
    if (held_) event.flags |= kFlagSecondaryFn;
    return event;
  }
  if (type != kEventSystemDefined) return event;

  auto data = services_.systemDefinedData(event);
  if (!data || data->subtype != kSubtypeAuxControlButtons) return event;
  const auto data1 = static_cast<std::uint32_t>(data->data1);
  const int keyType = static_cast<int>((data1 >> 16) & 0xFFFF);
  const int state = static_cast<int>((data1 >> 8) & 0xFF);
  if (!mediaKeys().count(keyType)) return event;

  if (state == kMediaKeyDown) {
    if (passthroughMedia_.count(keyType)) return event;
    if (convertedMedia_.count(keyType)) return replace(keyType, true, event, data1);
    if (!held_ || (data1 & 1) != 0) {
      // Not held at its first press, or a repeat whose first press went unseen: this key stays
      // on the plain path until its release.
      passthroughMedia_.insert(keyType);
      return event;
    }
    return replace(keyType, true, event, data1);
  }
  if (state == kMediaKeyUp) {
    if (passthroughMedia_.erase(keyType)) return event;
    if (convertedMedia_.count(keyType)) return replace(keyType, false, event, data1);
  }
  return event;
}

// Called with the lock held.
Event FnEventBridge::replace(int keyType, bool down, const Event& incoming, std::int64_t data1) {
  auto created = services_.createKeyboardEvent(mediaKeys().at(keyType), down);
  if (!created) return incoming;
  Event replacement = std::move(*created);
  replacement.flags = incoming.flags | (held_ ? kFlagSecondaryFn : 0);
  replacement.timestamp = incoming.timestamp;
  replacement.setField(kFieldSourceUserData, kEventTag);
  if (down) {
    replacement.setField(kFieldKeyboardAutorepeat, data1 & 1);
    convertedMedia_.insert(keyType);
  } else {
    replacement.setField(kFieldKeyboardAutorepeat, 0);
    convertedMedia_.erase(keyType);
  }
  return replacement;
}

void FnEventBridge::releaseConverted() {
  if (!services_.postEventAccess()) return;
  std::vector<std::uint16_t> codes;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (int keyType : convertedMedia_) codes.push_back(mediaKeys().at(keyType));
    convertedMedia_.clear();
  }
  for (auto code : codes) {
    auto event = services_.createKeyboardEvent(code, false);
    if (!event) continue;
    event->setField(kFieldSourceUserData, kEventTag);
    services_.post(*event);
  }
}

}  // namespace virelo
