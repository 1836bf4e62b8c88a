// A running service to attack, with the checks every fault ends with: the service still serves,
// the faulting client's input is released on every output, and no descriptor is left open.
// Parameterised by the backend.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/fault_tally.h"
#include "tests/support/held_input.h"
#include "tests/support/service_process.h"
#include "tests/support/test_client.h"

namespace virelo::test {

class ServiceUnderFault : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override;

  std::unique_ptr<TestClient> authenticated();
  // An authenticated client that holds something on every output (checked in the trace).
  std::unique_ptr<TestClient> holder();

  void expectServing();
  void expectReleased();
  // Waits until the service has exactly `extra` descriptors more than right after start.
  void expectDescriptors(int extra = 0);
  // All three, for a fault after which no client should remain.
  void expectRecovered();

  static void tally(const std::string& kind, std::uint64_t count = 1) {
    FaultTally::instance().add(kind, count);
  }
  HeldInput held() const { return HeldInput(GetParam(), service_->tracePath()); }

  std::unique_ptr<ServiceProcess> service_;
  int baseline_ = 0;
};

// Memory growth allowed over a long fault loop: sanitizer runtimes keep freed memory in
// quarantine for a while, so their builds get more room.
long rssToleranceKiB();

}  // namespace virelo::test
