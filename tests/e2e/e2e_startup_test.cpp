// Start-up of the real service: every refusal with its exact event (or none) and status 0.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/e2e/built_hosts.h"
#include "tests/support/host_trace.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "tests/support/test_client.h"

namespace virelo::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAuthorizationRequired =
    R"({"backend":"corehid","error":"virtual_hid_authorization_required","ready":false,"type":"status"})";

std::string failureLine(const std::string& backend, const std::string& code) {
  return R"({"backend":")" + backend + R"(","error":")" + code +
         R"(","ready":false,"type":"status"})";
}

// Runs the service to its end; returns (standard output, exit status).
std::pair<std::string, int> runToEnd(ServiceOptions options) {
  ServiceProcess service(std::move(options));
  auto status = service.waitExit(10s);
  EXPECT_TRUE(status.has_value());
  EXPECT_EQ(service.standardError(), "");
  return {service.readRest(1s), status.value_or(-1)};
}

TEST(StartupCommandLine, MalformedCommandLinesEndSilently) {
  std::vector<std::vector<std::string>> malformed = {
      {},
      {"--backend", "corehid", "--socket", "x"},
      {"--socket", "x", "--backend"},
      {"--socket", "x", "--backend", "corehid", "extra"},
      {"--socket=x", "--backend", "corehid"},
      {"--socket", "x", "--backend", "CoreHID"},
      {"--socket", "x", "--backend", "uinput"},
  };
  for (const auto& args : malformed) {
    ServiceOptions options;
    options.arguments = args;
    auto [out, status] = runToEnd(options);
    EXPECT_EQ(out, "");
    EXPECT_EQ(status, 0);
  }
}

TEST(StartupCapabilityProbe, EachFailingFactRefusesCorehid) {
  std::vector<nlohmann::json> signatures = {
      {{"self", false}},
      {{"valid", false}},
      {{"staticCode", false}},
      {{"information", false}},
      {{"entitlements", nullptr}},
      {{"entitlements", {{"com.apple.developer.hid.virtual.device", false}}}},
      {{"entitlements", {{"com.apple.developer.hid.virtual.device", 1}}}},
      {{"entitlements", {{"other", true}}}},
      {{"entitlements", {true}}},
      {{"teamIdentifier", ""}},
      {{"teamIdentifier", 42}},
      {{"teamIdentifier", nullptr}},
  };
  for (const auto& signature : signatures) {
    ServiceOptions options;
    options.world = {{"signature", signature}};
    ServiceProcess service(options);
    EXPECT_EQ(service.readLine(10s), kAuthorizationRequired) << signature.dump();
    EXPECT_EQ(service.waitExit(), 0);
    EXPECT_EQ(service.readRest(1s), "");
    EXPECT_FALSE(fs::exists(service.socketPath()));
  }
}

TEST(StartupCapabilityProbe, NotRunForCgevent) {
  ServiceOptions options;
  options.backend = "cgevent";
  options.world = {{"signature", {{"valid", false}}}};
  ServiceProcess service(options);
  auto first = service.readEvent(10s);
  ASSERT_TRUE(first);
  EXPECT_EQ(
      (*first)["type"] == "status" && (*first)["error"] == "virtual_hid_authorization_required",
      false);
}

TEST(StartupCapabilityProbe, KernelDevicesNeedAWritableUhidNode) {
  if (!hostBuilt("uhid")) GTEST_SKIP() << "this build has no uhid host";
  if (::access("/dev/uhid", R_OK | W_OK) == 0)
    GTEST_SKIP() << "this machine lets nobody use /dev/uhid";
  ServiceOptions options;
  options.environment["VL_HOST"] = "uhid";
  ServiceProcess service(options);
  EXPECT_EQ(service.readLine(10s), kAuthorizationRequired);
  EXPECT_EQ(service.waitExit(), 0);
}

// The Linux desktop's accessibility services bring GLib, GObject and libdbus into the process; only
// the Linux host opens them.
TEST(StartupCapabilityProbe, SimulatedHostLoadsNoDesktopAccessibility) {
  ServiceProcess service(ServiceOptions{});
  service.awaitReady();
  std::ifstream maps("/proc/" + std::to_string(service.pid()) + "/maps");
  ASSERT_TRUE(maps);
  const std::string mapped{std::istreambuf_iterator<char>(maps), {}};
  EXPECT_EQ(mapped.find("libatspi"), std::string::npos);
  EXPECT_EQ(mapped.find("libglib"), std::string::npos);
}

TEST(StartupIdentity, SuperuserIsRefused) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to start the service as root";
  ServiceOptions options;
  options.asRoot = true;
  options.backend = "cgevent";
  auto [out, status] = runToEnd(options);
  EXPECT_EQ(out, failureLine("cgevent", "virtual_hid_protocol_error") + "\n");
  EXPECT_EQ(status, 0);
}

TEST(StartupIdentity, ProbeIsCheckedBeforeTheUser) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to start the service as root";
  ServiceOptions options;
  options.asRoot = true;
  options.world = {{"signature", {{"valid", false}}}};
  auto [out, status] = runToEnd(options);
  EXPECT_EQ(out, std::string(kAuthorizationRequired) + "\n");
  EXPECT_EQ(status, 0);
}

TEST(StartupToken, MalformedTokensAreRefused) {
  std::string hex64(64, 'a');
  std::vector<std::optional<std::string>> tokens = {
      std::nullopt,                          // unset
      std::string(63, 'a'),                  // too short
      std::string(65, 'a'),                  // too long
      hex64.substr(0, 63) + "g",             // not hexadecimal
      hex64.substr(0, 63) + " ",             // trailing space
      "",                                    // empty
      hex64.substr(0, 62) + "\xef\xbc\x91",  // 63 characters, one of them fullwidth
  };
  for (const auto& token : tokens) {
    ServiceOptions options;
    options.token = token;
    auto [out, status] = runToEnd(options);
    EXPECT_EQ(out, failureLine("corehid", "virtual_hid_protocol_error") + "\n")
        << token.value_or("<unset>");
    EXPECT_EQ(status, 0);
  }
}

TEST(StartupToken, UpperCaseAndFullwidthTokensAreUsedAsGiven) {
  std::string fullwidthA = "\xef\xbc\xa1";    // U+FF21
  std::string fullwidthOne = "\xef\xbc\x91";  // U+FF11
  std::vector<std::string> tokens = {std::string(64, 'A'),
                                     std::string(62, 'b') + fullwidthA + fullwidthOne};
  for (const auto& token : tokens) {
    ServiceOptions options;
    options.token = std::optional<std::string>(token);
    ServiceProcess service(options);
    service.awaitReady();
    {
      TestClient lower(service.socketPath());
      std::string folded = token;
      for (auto& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (folded != token) {
        EXPECT_EQ(lower.hello(folded)["error"], "virtual_hid_protocol_error");
      }
    }
    TestClient exact(service.socketPath());
    EXPECT_EQ(exact.hello(token)["ready"], true);
  }
}

class SocketDirectory : public testing::Test {
 protected:
  // Starts a service whose socket lies in `sub` of a prepared directory.
  std::pair<std::string, int> run(const std::function<void(const std::string& dir)>& prepare,
                                  const std::string& socketName = "s") {
    PrivateDir base;
    std::string dir = base / "sock";
    prepare(dir);
    ServiceOptions options;
    options.socketPath = dir + "/" + socketName;
    auto result = runToEnd(options);
    return result;
  }
};

TEST_F(SocketDirectory, OpenModeIsRefused) {
  auto [out, status] = run([](const std::string& dir) {
    fs::create_directory(dir);
    fs::permissions(dir, fs::perms(0755));
  });
  EXPECT_EQ(out, failureLine("corehid", "virtual_hid_not_ready") + "\n");
  EXPECT_EQ(status, 0);
}

TEST_F(SocketDirectory, SymbolicLinkIsRefusedEvenToAPrivateDirectory) {
  PrivateDir target;
  auto [out, status] =
      run([&](const std::string& dir) { fs::create_directory_symlink(target.path(), dir); });
  EXPECT_EQ(out, failureLine("corehid", "virtual_hid_not_ready") + "\n");
  EXPECT_FALSE(fs::exists(target / "s"));
}

TEST_F(SocketDirectory, ForeignOwnerIsRefused) {
  if (!ServiceUser::privileged()) GTEST_SKIP() << "needs root to make a directory of another user";
  auto [out, status] = run([](const std::string& dir) {
    ServiceUser::asRoot([&] {
      fs::create_directory(dir);
      fs::permissions(dir, fs::perms(0700));
    });
  });
  EXPECT_EQ(out, failureLine("corehid", "virtual_hid_not_ready") + "\n");
}

TEST_F(SocketDirectory, LeftoverSocketFileIsRefusedAndLeftAlone) {
  std::string leftover;
  auto [out, status] = run([&](const std::string& dir) {
    fs::create_directory(dir);
    fs::permissions(dir, fs::perms(0700));
    leftover = dir + "/s";
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", leftover.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ::close(fd);
  });
  EXPECT_EQ(out, failureLine("corehid", "virtual_hid_not_ready") + "\n");
  EXPECT_EQ(status, 0);
}

TEST_F(SocketDirectory, PathLengthLimitIs103Bytes) {
  for (std::size_t length : {103u, 104u}) {
    PrivateDir base;
    std::string name = base.path() + "/";
    name += std::string(length - name.size(), 'n');
    ASSERT_EQ(name.size(), length);
    ServiceOptions options;
    options.socketPath = name;
    ServiceProcess service(options);
    auto first = service.readLine(10s);
    if (length == 103) {
      EXPECT_EQ(nlohmann::json::parse(*first)["type"], "ready");
      struct stat st {};
      ASSERT_EQ(::stat(name.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u);
    } else {
      EXPECT_EQ(first, failureLine("corehid", "virtual_hid_not_ready"));
      EXPECT_EQ(service.waitExit(), 0);
    }
  }
}

// Whichever descriptor the start-up runs short of, it ends with the failure event and status 0;
// once the service is up, SIGTERM still ends it in order.
TEST(StartupDescriptors, ShortageEndsWithTheFailureEventOrTheServiceStopsInOrder) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer runtimes need descriptors of their own (UBSan's type check "
                  "opens a pipe) and report falsely without them";
#endif
  for (const char* backend : {"corehid", "cgevent"}) {
    for (unsigned limit = 4; limit <= 9; ++limit) {
      SCOPED_TRACE(std::string(backend) + " with a limit of " + std::to_string(limit));
      ServiceOptions options;
      options.backend = backend;
      options.descriptorLimit = limit;
      ServiceProcess service(options);
      auto first = service.readEvent(5s);
      ASSERT_TRUE(first.has_value());
      if (first->contains("error")) {
        EXPECT_EQ(first->dump(), failureLine(backend, "virtual_hid_not_ready"));
      } else {
        service.signal(SIGTERM);
      }
      EXPECT_EQ(service.waitExit(3s), 0);
      EXPECT_EQ(service.standardError(), "");
    }
  }
}

TEST(StartupDevices, ReadyEventAndDevicesWithTheirProperties) {
  ServiceProcess service;
  EXPECT_EQ(service.readLine(10s),
            R"({"backend":"corehid","ok":true,"protocol":1,"ready":true,"type":"ready"})");
  HostTrace trace(service.tracePath());
  ASSERT_TRUE(trace.waitFor([](const auto& events) {
    return std::count_if(events.begin(), events.end(),
                         [](const auto& e) { return e["event"] == "hid_input"; }) >= 3;
  }));
  std::vector<nlohmann::json> created;
  std::vector<std::string> order;
  for (const auto& e : trace.events()) {
    if (e["event"] == "hid_create") created.push_back(e);
    if (e["event"] == "hid_create" || e["event"] == "hid_activate") {
      order.push_back(e["event"].get<std::string>() + ":" + e["device"].get<std::string>());
    }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"hid_create:keyboard", "hid_create:mouse",
                                             "hid_create:media", "hid_activate:keyboard",
                                             "hid_activate:mouse", "hid_activate:media"}));
  ASSERT_EQ(created.size(), 3u);
  const char* products[] = {"Virelo Keyboard", "Virelo Mouse", "Virelo Media"};
  const char* endings[] = {"corehid.keyboard", "corehid.mouse", "corehid.media"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(created[i]["product"], products[i]);
    EXPECT_EQ(created[i]["manufacturer"], "Virelo");
    EXPECT_EQ(created[i]["vendorID"], 0);
    EXPECT_EQ(created[i]["productID"], i + 1);
    EXPECT_EQ(created[i]["transport"], "virtual");
    EXPECT_TRUE(created[i]["uniqueID"].get<std::string>().ends_with(endings[i]));
    EXPECT_EQ(created[i].contains("localizationCode"), i == 0);
  }
  EXPECT_EQ(created[0]["descriptor"].get<std::string>().size(), 120u);
  EXPECT_EQ(created[1]["descriptor"].get<std::string>().size(), 104u);
  EXPECT_EQ(created[2]["descriptor"].get<std::string>().size(), 70u);
  // The initial state is published: all-zero reports on the three devices.
  EXPECT_EQ(trace.reports("keyboard"), std::vector<std::string>{emptyKeyboardHex()});
  EXPECT_EQ(trace.reports("media"), std::vector<std::string>{"00"});
  EXPECT_EQ(trace.reports("mouse"), std::vector<std::string>{"00000000"});
}

TEST(StartupDevices, RefusedDeviceEndsTheServiceWithoutActivatingAny) {
  ServiceOptions options;
  options.world = {{"refuseDevices", {"mouse"}}};
  ServiceProcess service(options);
  EXPECT_EQ(service.readLine(10s), failureLine("corehid", "virtual_hid_not_ready"));
  EXPECT_EQ(service.waitExit(), 0);
  EXPECT_EQ(service.readRest(1s), "");
  EXPECT_FALSE(fs::exists(service.socketPath()));
  for (const auto& e : HostTrace(service.tracePath()).events()) {
    EXPECT_NE(e["event"], "hid_activate");
  }
}

}  // namespace
}  // namespace virelo::test
