// Signals and the parent's pipe while clients are busy: storms of SIGTERM and SIGINT end the
// service in order and silently, SIGPIPE never ends it, and closing standard input with
// commands in flight ends it the same way.
#include <signal.h>

#include <atomic>
#include <thread>

#include "tests/faults/service_under_fault.h"

namespace virelo::test {
namespace {

using Signals = ServiceUnderFault;

// A client sending commands as fast as it can until the service goes away.
class BusyClient {
 public:
  explicit BusyClient(ServiceProcess& service)
      : client_(service.socketPath()), token_(service.token()) {
    client_.hello(token_);
    thread_ = std::thread([this] { run(); });
  }
  ~BusyClient() {
    stop_ = true;
    thread_.join();
  }
  long sent() const { return sent_; }

 private:
  void run() {
    for (long i = 0; !stop_; ++i) {
      nlohmann::json command = {{"cmd", "keyboard"}, {"modifiers", i % 2}, {"keys", {4 + i % 3}}};
      client_.send(command);
      if (!client_.readLine(std::chrono::milliseconds(500))) return;
      ++sent_;
    }
  }
  TestClient client_;
  std::string token_;
  std::atomic<bool> stop_{false};
  std::atomic<long> sent_{0};
  std::thread thread_;
};

void expectSilentEnd(ServiceProcess& service) {
  EXPECT_EQ(service.waitExit(std::chrono::seconds(5)), 0);
  EXPECT_EQ(service.readRest(std::chrono::milliseconds(500)), "");
  EXPECT_EQ(service.standardError(), "");
}

// With "cgevent" the stop releases everything held through the event output.
void expectReleasedAtStop(const std::string& backend, const HeldInput& held) {
  if (backend == "cgevent") {
    EXPECT_TRUE(held.waitReleased());
  }
}

TEST_P(Signals, TermStormEndsInOrder) {
  auto keeper = holder();
  BusyClient busy(*service_);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (int i = 0; i < 200; ++i) service_->signal(SIGTERM);
  tally("signals: SIGTERM", 200);
  expectSilentEnd(*service_);
  expectReleasedAtStop(GetParam(), held());
  EXPECT_TRUE(keeper->closedByService());
}

TEST_P(Signals, IntStormEndsInOrder) {
  auto keeper = holder();
  BusyClient busy(*service_);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (int i = 0; i < 200; ++i) service_->signal(SIGINT);
  tally("signals: SIGINT", 200);
  expectSilentEnd(*service_);
  expectReleasedAtStop(GetParam(), held());
  EXPECT_TRUE(keeper->closedByService());
}

TEST_P(Signals, MixedStormEndsInOrder) {
  BusyClient busy(*service_);
  for (int i = 0; i < 100; ++i) service_->signal(i % 2 ? SIGINT : SIGTERM);
  tally("signals: SIGTERM", 50);
  tally("signals: SIGINT", 50);
  expectSilentEnd(*service_);
}

TEST_P(Signals, SigpipeNeverEndsTheService) {
  auto keeper = holder();
  {
    BusyClient busy(*service_);
    for (int i = 0; i < 200; ++i) {
      service_->signal(SIGPIPE);
      if (i % 20 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    tally("signals: SIGPIPE", 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(service_->running());
    EXPECT_GT(busy.sent(), 0);
  }
  // With the busy client gone, the merged output is the keeper's input again.
  EXPECT_TRUE(held().waitHeld());
  keeper->close();
  expectRecovered();
}

TEST_P(Signals, StandardInputClosedWithCommandsInFlight) {
  auto keeper = holder();
  BusyClient busy(*service_);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  service_->closeStdin();
  tally("parent: standard input closed with commands in flight");
  expectSilentEnd(*service_);
  expectReleasedAtStop(GetParam(), held());
  EXPECT_TRUE(keeper->closedByService());
}

INSTANTIATE_TEST_SUITE_P(Backends, Signals, testing::Values("corehid", "cgevent"));

}  // namespace
}  // namespace virelo::test
