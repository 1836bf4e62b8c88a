// Helpers shared by the bridge tests: ready bridges of either backend and failure capture.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

#include "core/failure.h"
#include "recording_event_output.h"
#include "support/doubles/bridge_rig.h"

namespace virelo::testing {

// The reply to a command that was carried out.
inline const nlohmann::json kAck = {{"ok", true}, {"ready", true}};

// The Failure the call threw, or nullopt when it returned (other exceptions pass through).
inline std::optional<Failure> failureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const FailureError& e) {
    return e.failure();
  }
  return std::nullopt;
}

// A "corehid" bridge whose three fake devices are created and active.
class CorehidBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.bridge->start();
    rig.devices.forgetReports();
  }
  nlohmann::json cmd(int fd, const nlohmann::json& request) { return rig.command(fd, request); }
  std::optional<Failure> failureOfCommand(int fd, const nlohmann::json& request) {
    return failureOf([&] { rig.command(fd, request); });
  }

  BridgeRig rig{InputBackend::corehid};
};

// A "cgevent" bridge with a recording event output, permitted to post events.
class CgeventBridgeTest : public ::testing::Test {
 protected:
  CgeventBridgeTest()
      : rig(InputBackend::cgevent, std::make_unique<RecordingEventOutput>(script)) {}
  void SetUp() override {
    rig.bridge->start();
    script.calls.clear();
  }
  nlohmann::json cmd(int fd, const nlohmann::json& request) { return rig.command(fd, request); }
  std::optional<Failure> failureOfCommand(int fd, const nlohmann::json& request) {
    return failureOf([&] { rig.command(fd, request); });
  }

  RecordingEventOutput::Script script;
  BridgeRig rig;
};

inline Bytes keyboardBytes(std::uint8_t modifiers, std::initializer_list<std::uint8_t> keys) {
  Bytes report(33, 0);
  report[0] = modifiers;
  std::size_t slot = 1;
  for (auto key : keys) report[slot++] = key;
  return report;
}

}  // namespace virelo::testing
