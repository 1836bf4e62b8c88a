#include "tests/faults/service_under_fault.h"

#include <thread>

namespace virelo::test {

void ServiceUnderFault::SetUp() {
  ServiceOptions options;
  options.backend = GetParam();
  service_ = std::make_unique<ServiceProcess>(options);
  service_->awaitReady();
  // With "cgevent" the Fn state follows the ready event; take it now, so that whatever the
  // service writes later can be checked on its own.
  while (service_->readLine(std::chrono::milliseconds(300))) {
  }
  baseline_ = service_->openDescriptors();
}

std::unique_ptr<TestClient> ServiceUnderFault::authenticated() {
  auto client = std::make_unique<TestClient>(service_->socketPath());
  EXPECT_EQ(client->hello(service_->token())["ready"], true);
  return client;
}

std::unique_ptr<TestClient> ServiceUnderFault::holder() {
  auto client = authenticated();
  holdEverything(*client);
  EXPECT_TRUE(held().waitHeld());
  return client;
}

void ServiceUnderFault::expectServing() {
  ASSERT_TRUE(service_->running());
  auto client = authenticated();
  EXPECT_EQ(client->command({{"cmd", "status"}}), (nlohmann::json{{"ok", true}, {"ready", true}}));
}

void ServiceUnderFault::expectReleased() {
  EXPECT_TRUE(held().waitReleased()) << "input of a faulting client is still held";
}

void ServiceUnderFault::expectDescriptors(int extra) {
  int open = 0;
  for (int attempt = 0; attempt < 500; ++attempt) {
    open = service_->openDescriptors();
    if (open == baseline_ + extra) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "the service has " << open << " descriptors open, expected "
                << baseline_ + extra;
}

void ServiceUnderFault::expectRecovered() {
  expectReleased();
  expectServing();
  expectDescriptors();
  EXPECT_EQ(service_->standardError(), "");
}

long rssToleranceKiB() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return 64 * 1024;
#else
  return 1024;
#endif
}

}  // namespace virelo::test
