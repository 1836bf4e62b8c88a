// Connections the service must turn away or survive in numbers: a fifth client, a client of
// another user, and a thousand connect/disconnect cycles without descriptor or memory growth.
#include <thread>

#include "tests/faults/service_under_fault.h"
#include "tests/support/process_memory.h"
#include "tests/support/service_user.h"

namespace virelo::test {
namespace {

using Admission = ServiceUnderFault;

const nlohmann::json kAck = {{"ok", true}, {"ready", true}};

TEST_P(Admission, FifthConnectionIsClosedWithoutData) {
  std::vector<std::unique_ptr<TestClient>> four;
  four.push_back(holder());
  for (int i = 0; i < 3; ++i) four.push_back(authenticated());
  for (int round = 0; round < 10; ++round) {
    TestClient fifth(service_->socketPath());
    tally("admission: fifth connection");
    EXPECT_FALSE(fifth.readLine(std::chrono::milliseconds(2000)));
    EXPECT_TRUE(fifth.closedByService(std::chrono::milliseconds(0)));
  }
  for (auto& client : four) EXPECT_EQ(client->command({{"cmd", "status"}}), kAck);
  EXPECT_TRUE(held().waitHeld(std::chrono::milliseconds(0)));
  expectDescriptors(4);
  four.clear();
  expectRecovered();
}

TEST_P(Admission, ForeignUserIsClosedWithoutData) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to connect as another user";
  auto keeper = holder();
  for (int round = 0; round < 10; ++round) {
    std::unique_ptr<TestClient> foreign;
    ServiceUser::asRoot([&] { foreign = std::make_unique<TestClient>(service_->socketPath()); });
    foreign->sendLine(nlohmann::json{{"cmd", "hello"}, {"token", service_->token()}}.dump());
    tally("admission: foreign user");
    EXPECT_FALSE(foreign->readLine(std::chrono::milliseconds(2000)));
    EXPECT_TRUE(foreign->closedByService(std::chrono::milliseconds(0)));
  }
  EXPECT_TRUE(held().waitHeld(std::chrono::milliseconds(0)));
  EXPECT_EQ(keeper->command({{"cmd", "status"}}), kAck);
  keeper->close();
  expectRecovered();
}

TEST_P(Admission, ThousandConnectDisconnectCyclesLeakNothing) {
  // A client that holds input throughout: no other client's coming and going may release it.
  auto keeper = holder();
  auto cycle = [&](int i) {
    TestClient client(service_->socketPath());
    switch (i % 4) {
      case 0:
        break;  // connect and go
      case 1:
        client.sendLine(nlohmann::json{{"cmd", "hello"}, {"token", service_->token()}}.dump());
        break;
      case 2:
        client.sendRaw(R"({"cmd":"hel)");  // a partial line left behind
        break;
      case 3:
        client.hello(service_->token());
        client.command({{"cmd", "keyboard"}, {"modifiers", 1}, {"keys", {6}}});
        break;
    }
  };
  for (int i = 0; i < 100; ++i) cycle(i);  // warm-up: allocator pools reach their working size
  expectDescriptors(1);
  long before = residentKiB(service_->pid());
  for (int i = 0; i < 1000; ++i) cycle(i);
  tally("admission: connect/disconnect cycle", 1100);
  expectDescriptors(1);
  long after = residentKiB(service_->pid());
  std::printf("VmRSS before %ld KiB, after 1000 cycles %ld KiB\n", before, after);
  EXPECT_LE(after - before, rssToleranceKiB());
  EXPECT_TRUE(held().waitHeld());
  EXPECT_EQ(keeper->command({{"cmd", "status"}}), kAck);
  keeper->close();
  expectRecovered();
}

INSTANTIATE_TEST_SUITE_P(Backends, Admission, testing::Values("corehid", "cgevent"));

}  // namespace
}  // namespace virelo::test
