// Shared set-up of the event-synthesis tests: a CGEventOutput on recording event services, and
// builders for the bridge's reports.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "eventsynth/cg_event_output.h"
#include "tests/fakes/recording_event_services.h"

namespace virelo::test {

constexpr std::uint64_t kSecond = 1000000000;
constexpr std::uint64_t kMs = 1000000;

inline std::vector<std::uint8_t> keyReport(std::uint8_t modifiers,
                                           std::initializer_list<std::uint8_t> usages = {}) {
  std::vector<std::uint8_t> r(33, 0);
  r[0] = modifiers;
  std::size_t i = 1;
  for (auto u : usages) r[i++] = u;
  return r;
}

inline std::vector<std::uint8_t> mouseReport(std::uint8_t buttons, std::int8_t dx = 0,
                                             std::int8_t dy = 0, std::int8_t wheel = 0) {
  return {buttons, static_cast<std::uint8_t>(dx), static_cast<std::uint8_t>(dy),
          static_cast<std::uint8_t>(wheel)};
}

inline std::vector<std::uint8_t> mediaReport(std::uint8_t bits) {
  return {bits};
}

class OutputTest : public ::testing::Test {
 protected:
  RecordingEventServices services;
  CGEventOutput output{services};
};

// HID usages used by the tests.
constexpr std::uint8_t kUsageA = 0x04;
constexpr std::uint8_t kUsageB = 0x05;
constexpr std::uint8_t kUsageZ = 0x1D;
constexpr std::uint8_t kUsageCapsLock = 0x39;
// Virtual key codes.
constexpr std::uint16_t kKeyA = 0;
constexpr std::uint16_t kKeyB = 11;
constexpr std::uint16_t kKeyZ = 6;
constexpr std::uint16_t kKeyLeftShift = 56;
constexpr std::uint16_t kKeyCapsLock = 57;
constexpr std::uint16_t kKeyFn = 63;
constexpr std::int64_t kTag = FnEventBridge::kEventTag;

}  // namespace virelo::test
