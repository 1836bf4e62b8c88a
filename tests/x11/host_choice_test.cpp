// The host named by VL_HOST, on the real service binary: a name that is no host is a start-up
// refusal, never a silent fallback to another host.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/service_process.h"
#include "tests/support/service_user.h"

namespace virelo::test {
namespace {

TEST(HostChoice, AnUnknownHostIsRefusedWithTheStartFailure) {
  ServiceOptions options;
  options.backend = "cgevent";
  options.environment["VL_HOST"] = "wayland";
  ServiceProcess service(options);
  EXPECT_EQ(
      service.readLine(10s),
      R"({"backend":"cgevent","error":"virtual_hid_not_ready","ready":false,"type":"status"})");
  EXPECT_EQ(service.waitExit(10s), 0);
  EXPECT_EQ(service.readRest(1s), "");
  EXPECT_EQ(service.standardError(), "");
  EXPECT_FALSE(std::filesystem::exists(service.socketPath()));
}

}  // namespace
}  // namespace virelo::test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  virelo::test::ServiceUser::adopt();
  return RUN_ALL_TESTS();
}
