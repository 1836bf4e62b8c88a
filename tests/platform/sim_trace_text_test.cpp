// The simulated host writes input reports through its text fast path; the lines must be the ones
// trace() writes for the same event: compact JSON, keys sorted, "t_ns" last.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sim/sim_hid_service.h"
#include "platform/sim/sim_host.h"

namespace virelo::sim {
namespace {

namespace fs = std::filesystem;

class TraceFile {
 public:
  TraceFile() {
    std::string tmpl = (fs::temp_directory_path() / "vl-trace-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  ~TraceFile() { fs::remove_all(dir_); }
  std::string path() const { return dir_ + "/trace"; }
  std::vector<std::string> lines() const {
    std::vector<std::string> lines;
    std::ifstream in(path());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string dir_;
};

class NoDelegate final : public HidVirtualDeviceDelegate {
 public:
  void setReport(HidReportType, std::optional<std::uint8_t>,
                 std::span<const std::uint8_t>) override {}
  std::vector<std::uint8_t> getReport(HidReportType, std::optional<std::uint8_t>,
                                      std::size_t) override {
    return {};
  }
};

// The line trace() would write for the event, with the time stamp the fast path wrote.
std::string documentLine(const std::string& device, const std::string& report,
                         const std::string& written) {
  auto t = nlohmann::json::parse(written).at("t_ns").get<std::uint64_t>();
  return nlohmann::json{{"event", "hid_input"}, {"device", device}, {"report", report}, {"t_ns", t}}
      .dump();
}

TEST(SimTraceText, InputReportLinesEqualTheDocumentForm) {
  TraceFile trace;
  SimHost host(nlohmann::json::object(), trace.path(), "");
  SimHidService service(host);
  HidDeviceProperties properties;
  properties.product = "Virelo Mouse";
  properties.uniqueID = "org.virelo.corehid.mouse";
  auto mouse = service.create(properties);
  NoDelegate delegate;
  mouse->activate(delegate);
  std::vector<std::uint8_t> report{0x01, 0x81, 0x7F, 0x00};
  mouse->dispatchInputReport(report, 0);
  mouse->dispatchInputReport(std::vector<std::uint8_t>{0, 0, 0, 0}, 0);

  auto lines = trace.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], documentLine("mouse", "01817f00", lines[2]));
  EXPECT_EQ(lines[3], documentLine("mouse", "00000000", lines[3]));
  EXPECT_LE(nlohmann::json::parse(lines[2])["t_ns"], nlohmann::json::parse(lines[3])["t_ns"]);
}

TEST(SimTraceText, DeviceNamesThatNeedEscapingAreEscaped) {
  TraceFile trace;
  SimHost host(nlohmann::json::object(), trace.path(), "");
  SimHidService service(host);
  HidDeviceProperties properties;
  properties.product = "A \"quoted\" \\ name";  // no corehid unique ID: the product names it
  auto device = service.create(properties);
  NoDelegate delegate;
  device->activate(delegate);
  device->dispatchInputReport(std::vector<std::uint8_t>{0xAB}, 0);

  auto lines = trace.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], documentLine(properties.product, "ab", lines[2]));
}

TEST(SimTraceText, NothingIsWrittenWithoutATraceFile) {
  SimHost host(nlohmann::json::object(), "", "");
  SimHidService service(host);
  HidDeviceProperties properties;
  properties.uniqueID = "org.virelo.corehid.keyboard";
  auto keyboard = service.create(properties);
  NoDelegate delegate;
  keyboard->activate(delegate);
  EXPECT_NO_THROW(keyboard->dispatchInputReport(std::vector<std::uint8_t>{1}, 0));
  EXPECT_FALSE(host.tracing());
}

}  // namespace
}  // namespace virelo::sim
