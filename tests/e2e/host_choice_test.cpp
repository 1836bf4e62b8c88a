// The host named by VL_HOST, on the real service binary: a name that is no host is a start-up
// refusal, never a silent fallback to another host; so is the name of a host that this build
// leaves out.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/built_hosts.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"

namespace virelo::test {
namespace {

void expectRefused(const std::string& name) {
  SCOPED_TRACE("VL_HOST=" + name);
  ServiceOptions options;
  options.backend = "cgevent";
  options.environment["VL_HOST"] = name;
  ServiceProcess service(options);
  EXPECT_EQ(
      service.readLine(10s),
      R"({"backend":"cgevent","error":"virtual_hid_not_ready","ready":false,"type":"status"})");
  EXPECT_EQ(service.waitExit(10s), 0);
  EXPECT_EQ(service.readRest(1s), "");
  EXPECT_EQ(service.standardError(), "");
  EXPECT_FALSE(std::filesystem::exists(service.socketPath()));
}

TEST(HostChoice, AnUnknownHostIsRefusedWithTheStartFailure) {
  expectRefused("wayland");
}

TEST(HostChoice, AHostThisBuildLeavesOutIsRefusedAsAnUnknownOne) {
  const auto names = unbuiltHosts();
  if (names.empty()) GTEST_SKIP() << "this build has every host";
  for (const auto& name : names) expectRefused(name);
}

}  // namespace
}  // namespace virelo::test
