// Shared set-up of the tap tests: an FnEventBridge on recording event services whose virtual
// clock the tap thread advances, and builders for the session's events.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fntap/fn_event_bridge.h"
#include "tests/fakes/recording_event_services.h"

namespace virelo::test {

inline FnTapClock virtualClock(RecordingEventServices& services) {
  return {[&services] { return services.clockNow(); },
          [&services](double seconds) { services.clockSleep(seconds); }};
}

inline Event keyEvent(std::uint32_t type, std::uint16_t code, std::uint64_t flags = 0) {
  Event e;
  e.type = type;
  e.keycode = code;
  e.flags = flags;
  return e;
}

constexpr int kMediaDown = 0x0A;
constexpr int kMediaUp = 0x0B;
constexpr int kPlay = 16;
constexpr int kVolumeUp = 0;
constexpr std::uint16_t kF8 = 100;

inline Event mediaEvent(int keyType, int state, bool repeat = false, std::uint64_t flags = 0,
                        std::uint64_t timestamp = 0) {
  Event e;
  e.type = kEventSystemDefined;
  e.subtype = kSubtypeAuxControlButtons;
  e.data1 = (static_cast<std::int64_t>(keyType) << 16) | (state << 8) | (repeat ? 1 : 0);
  e.data2 = -1;
  e.flags = flags;
  e.timestamp = timestamp;
  return e;
}

// Polls a condition of the code under test (not of the fake) for up to 20 s of real time.
template <typename F>
bool eventually(F predicate) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class FnBridgeTest : public ::testing::Test {
 protected:
  RecordingEventServices services;
  FnEventBridge bridge{services, virtualClock(services)};
};

}  // namespace virelo::test
