#include "platform/sim/sim_host.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/sim_code_signature.h"
#include "platform/sim/sim_hid_service.h"

namespace virelo::sim {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "vl-sim-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  fs::path operator/(const char* name) const { return fs::path(path_) / name; }

 private:
  std::string path_;
};

std::vector<nlohmann::json> readTrace(const fs::path& path) {
  std::vector<nlohmann::json> events;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) events.push_back(nlohmann::json::parse(line));
  return events;
}

nlohmann::json ask(const fs::path& socketPath, const nlohmann::json& request) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", socketPath.c_str());
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  std::string line = request.dump() + "\n";
  EXPECT_EQ(::send(fd, line.data(), line.size(), 0), static_cast<ssize_t>(line.size()));
  std::string reply;
  char c;
  while (::recv(fd, &c, 1, 0) == 1 && c != '\n') reply.push_back(c);
  ::close(fd);
  return nlohmann::json::parse(reply);
}

class RecordingDelegate : public HidVirtualDeviceDelegate {
 public:
  void setReport(HidReportType type, std::optional<std::uint8_t>,
                 std::span<const std::uint8_t> data) override {
    if (type != HidReportType::output) throw HidDeviceError(HidDeviceError::Kind::unsupported);
    std::lock_guard<std::mutex> guard(mutex);
    last.assign(data.begin(), data.end());
  }
  std::vector<std::uint8_t> getReport(HidReportType, std::optional<std::uint8_t>,
                                      std::size_t maxSize) override {
    std::lock_guard<std::mutex> guard(mutex);
    if (last.size() > maxSize) throw HidDeviceError(HidDeviceError::Kind::messageTooLarge);
    return last;
  }
  std::mutex mutex;
  std::vector<std::uint8_t> last{0xAB, 0xCD};
};

HidDeviceProperties keyboardProperties() {
  HidDeviceProperties p;
  p.descriptor = {0x05, 0x01};
  p.productID = 1;
  p.product = "Virelo Keyboard";
  p.manufacturer = "Virelo";
  p.uniqueID = "org.virelo.corehid.keyboard";
  p.localizationCode = HidLocalization::unitedStates;
  return p;
}

TEST(SimCodeSignature, DefaultsDescribeAnEntitledBuild) {
  SimHost host(nlohmann::json::object(), "", "");
  SimCodeSignature sig(host);
  EXPECT_TRUE(sig.copySelf());
  EXPECT_TRUE(sig.checkValidityStrict());
  EXPECT_TRUE(sig.copyStaticCode());
  auto info = sig.signingInformation();
  ASSERT_TRUE(info);
  EXPECT_EQ((*info->entitlements)["com.apple.developer.hid.virtual.device"], true);
  EXPECT_TRUE(info->teamIdentifier->is_string());
}

TEST(SimCodeSignature, EveryFactCanBeTurnedOff) {
  SimHost host({{"signature",
                 {{"valid", false},
                  {"information", true},
                  {"entitlements", nullptr},
                  {"teamIdentifier", 7}}}},
               "", "");
  SimCodeSignature sig(host);
  EXPECT_TRUE(sig.copySelf());
  EXPECT_FALSE(sig.checkValidityStrict());
  auto info = sig.signingInformation();
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->entitlements);
  EXPECT_EQ(*info->teamIdentifier, 7);
}

TEST(SimHidService, TracesCreationActivationAndReports) {
  TempDir dir;
  SimHost host({{"refuseDevices", {"mouse"}}}, (dir / "trace").string(), "");
  SimHidService service(host);
  auto keyboard = service.create(keyboardProperties());
  ASSERT_TRUE(keyboard);
  auto mouseProps = keyboardProperties();
  mouseProps.uniqueID = "org.virelo.corehid.mouse";
  EXPECT_FALSE(service.create(mouseProps));
  RecordingDelegate delegate;
  keyboard->activate(delegate);
  std::vector<std::uint8_t> report{0x02, 0x04, 0x00};
  keyboard->dispatchInputReport(report, 0);

  auto events = readTrace(dir / "trace");
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0]["event"], "hid_create");
  EXPECT_EQ(events[0]["device"], "keyboard");
  EXPECT_EQ(events[0]["product"], "Virelo Keyboard");
  EXPECT_EQ(events[0]["localizationCode"], "unitedStates");
  EXPECT_EQ(events[1]["event"], "hid_refused");
  EXPECT_EQ(events[2]["event"], "hid_activate");
  EXPECT_EQ(events[3]["report"], "020400");
  EXPECT_LE(events[0]["t_ns"].get<std::uint64_t>(), events[3]["t_ns"].get<std::uint64_t>());
}

TEST(SimHidService, FailingDispatchThrows) {
  SimHost host({{"failDispatch", {"keyboard"}}}, "", "");
  SimHidService service(host);
  auto keyboard = service.create(keyboardProperties());
  RecordingDelegate delegate;
  keyboard->activate(delegate);
  std::vector<std::uint8_t> report{0};
  EXPECT_THROW(keyboard->dispatchInputReport(report, 0), HidServiceError);
}

TEST(SimHostControl, RequestsReachTheDelegate) {
  TempDir dir;
  SimHost host(nlohmann::json::object(), "", (dir / "control").string());
  SimHidService service(host);
  host.startControl();
  auto keyboard = service.create(keyboardProperties());
  RecordingDelegate delegate;
  keyboard->activate(delegate);

  auto sock = dir / "control";
  EXPECT_EQ(ask(sock, {{"request", "get_report"},
                       {"device", "keyboard"},
                       {"type", "input"},
                       {"id", nullptr},
                       {"maxSize", 8}}),
            (nlohmann::json{{"ok", true}, {"data", "abcd"}}));
  EXPECT_EQ(ask(sock, {{"request", "get_report"},
                       {"device", "keyboard"},
                       {"type", "input"},
                       {"id", nullptr},
                       {"maxSize", 1}})["error"],
            "messageTooLarge");
  EXPECT_EQ(ask(sock, {{"request", "set_report"},
                       {"device", "keyboard"},
                       {"type", "output"},
                       {"id", nullptr},
                       {"data", "1f"}}),
            (nlohmann::json{{"ok", true}}));
  EXPECT_EQ(ask(sock, {{"request", "set_report"},
                       {"device", "keyboard"},
                       {"type", "feature"},
                       {"id", nullptr},
                       {"data", "1f"}})["error"],
            "unsupported");
  EXPECT_EQ(ask(sock, {{"request", "get_report"},
                       {"device", "media"},
                       {"type", "input"},
                       {"id", nullptr},
                       {"maxSize", 1}})["error"],
            "no_device");
  EXPECT_EQ(ask(sock, {{"request", "nope"}})["error"], "unknown_request");
  EXPECT_EQ(ask(sock, {{"request", "get_report"}})["error"], "malformed");
  for (const nlohmann::json& size :
       {nlohmann::json(-1), nlohmann::json(2.5), nlohmann::json("8")}) {
    EXPECT_EQ(ask(sock, {{"request", "get_report"},
                         {"device", "keyboard"},
                         {"type", "input"},
                         {"id", nullptr},
                         {"maxSize", size}}),
              (nlohmann::json{{"ok", false}, {"error", "malformed"}}))
        << size;
  }
  EXPECT_EQ(ask(sock, {{"request", "set"}, {"dispatchDelayMs", 1}}),
            (nlohmann::json{{"ok", true}}));
  host.stopControl();
  EXPECT_FALSE(fs::exists(sock));
}

}  // namespace
}  // namespace virelo::sim
