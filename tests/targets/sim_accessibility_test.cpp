#include "platform/sim/sim_accessibility.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "targets/screen_snapshot.h"
#include "targets/snap_target_finder.h"

namespace virelo::sim {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "vl-ax-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  fs::path operator/(const char* name) const { return path_ / name; }

 private:
  fs::path path_;
};

std::vector<json> readTrace(const fs::path& path) {
  std::vector<json> events;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) events.push_back(json::parse(line));
  return events;
}

std::vector<json> eventsNamed(const std::vector<json>& events, const char* name) {
  std::vector<json> found;
  for (const auto& e : events) {
    if (e["event"] == name) found.push_back(e);
  }
  return found;
}

json ask(const fs::path& socketPath, const json& request) {
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
  return json::parse(reply);
}

// An editor window at (100, 100, 400, 300) with a title-bar close button and a "Save" button
// holding a label; a browser window at (600, 100, 400, 300) with a button in its content.
json sampleWorld() {
  return json::parse(R"({
    "ownPid": 7,
    "windows": [
      {"pid": 100, "layer": 0, "bounds": [100, 100, 400, 300], "alpha": 1.0},
      {"pid": 200, "bounds": [600, 100, 400, 300]}
    ],
    "apps": {
      "100": {
        "bundleIdentifier": "com.example.Editor",
        "windows": ["win"],
        "elements": [
          {"id": "win", "role": "AXWindow", "frame": [100, 100, 400, 300], "parent": "app:100",
           "closeButton": "close", "zoomButton": "zoom"},
          {"id": "close", "role": "AXButton", "frame": [108, 104, 14, 14], "parent": "win"},
          {"id": "zoom", "role": "AXButton", "frame": [148, 104, 14, 14], "parent": "win",
           "enabled": false},
          {"id": "save", "role": "AXButton", "frame": [300, 300, 60, 20], "parent": "win"},
          {"id": "label", "role": "AXStaticText", "frame": [305, 302, 40, 16], "parent": "save"}
        ]
      },
      "200": {
        "bundleIdentifier": "com.google.Chrome",
        "windows": ["bwin"],
        "elements": [
          {"id": "bwin", "role": "AXWindow", "frame": [600, 100, 400, 300], "parent": "app:200",
           "closeButton": "bclose"},
          {"id": "bclose", "role": "AXButton", "frame": [608, 104, 14, 14], "parent": "bwin"},
          {"id": "go", "role": "AXButton", "frame": [800, 300, 60, 20], "parent": "bwin"}
        ]
      }
    }
  })");
}

// The tests reach elements as the scan does: by hit-testing and through attribute values.
ElementRef hitAt(SimAccessibility& ax, float x, float y) {
  return ax.elementAtPosition(ax.systemWide(), x, y);
}

TEST(SimAccessibility, Defaults) {
  SimHost host(json::object(), "", "");
  SimAccessibility ax(host);
  EXPECT_TRUE(ax.isProcessTrusted());
  EXPECT_EQ(ax.ownProcessID(), static_cast<std::int32_t>(::getpid()));
  auto displays = ax.activeDisplayList(16);
  ASSERT_TRUE(displays);
  ASSERT_EQ(displays->size(), 1u);
  EXPECT_EQ(ax.displayBounds((*displays)[0]), makeRect(0, 0, 1920, 1080));
  auto windows = ax.copyWindowInfo(17, 0);
  ASSERT_TRUE(windows);
  EXPECT_EQ(*windows, json::array());
  EXPECT_FALSE(ax.runningApplication(100));
  EXPECT_EQ(hitAt(ax, 10, 10), nullptr);
}

TEST(SimAccessibility, WindowListInTheWindowServersForm) {
  SimHost host(json::parse(R"({"windows": [
      {"pid": 1, "layer": 3, "bounds": [1, 2, 3, 4], "alpha": 0.5},
      {"pid": 2, "bounds": [0, 0, 10, 10]},
      {"pid": "x", "layer": null, "bounds": "wide"},
      17
    ]})"),
               "", "");
  SimAccessibility ax(host);
  auto info = ax.copyWindowInfo(17, 0);
  ASSERT_TRUE(info);
  ASSERT_EQ(info->size(), 4u);
  EXPECT_EQ((*info)[0], json::parse(R"({"kCGWindowOwnerPID": 1, "kCGWindowLayer": 3,
      "kCGWindowBounds": {"X": 1.0, "Y": 2.0, "Width": 3.0, "Height": 4.0},
      "kCGWindowAlpha": 0.5})"));
  EXPECT_EQ((*info)[1]["kCGWindowLayer"], 0);
  EXPECT_EQ((*info)[2], json::parse(R"({"kCGWindowOwnerPID": "x", "kCGWindowBounds": "wide"})"));
  EXPECT_EQ((*info)[3], 17);
}

TEST(SimAccessibility, NullWindowsAndDisplaysMakeTheCallsFail) {
  SimHost host(json::parse(R"({"windows": null, "displays": null})"), "", "");
  SimAccessibility ax(host);
  EXPECT_FALSE(ax.copyWindowInfo(17, 0));
  EXPECT_FALSE(ax.activeDisplayList(16));
}

TEST(SimAccessibility, DisplaysAreListedInOrderUpToTheRoomGiven) {
  SimHost host(json::parse(R"({"displays": [[0, 0, 100, 100], [100, 0, 50, 50], "bad"]})"), "", "");
  SimAccessibility ax(host);
  auto all = ax.activeDisplayList(16);
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 2u);
  EXPECT_EQ(ax.displayBounds((*all)[1]), makeRect(100, 0, 50, 50));
  EXPECT_EQ(ax.activeDisplayList(1)->size(), 1u);
}

TEST(SimAccessibility, RunningApplicationsCarryTheirBundle) {
  SimHost host(json::parse(R"({"apps": {
      "100": {"bundleIdentifier": "com.example.Editor", "bundleLocation": "/Applications/E.app"},
      "101": {}}})"),
               "", "");
  SimAccessibility ax(host);
  auto app = ax.runningApplication(100);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->bundleIdentifier, "com.example.Editor");
  EXPECT_EQ(app->bundleLocation, fs::path("/Applications/E.app"));
  auto bare = ax.runningApplication(101);
  ASSERT_TRUE(bare);
  EXPECT_FALSE(bare->bundleIdentifier);
  EXPECT_FALSE(bare->bundleLocation);
  EXPECT_FALSE(ax.runningApplication(102));
}

TEST(SimAccessibility, AttributesReadAsTheirKinds) {
  SimHost host(sampleWorld(), "", "");
  SimAccessibility ax(host);
  auto app = ax.application(100);
  EXPECT_EQ(std::get<std::string>(*ax.copyAttributeValue(app, "AXRole")), "AXApplication");
  auto windows = ax.copyAttributeValue(app, "AXWindows");
  ASSERT_TRUE(windows);
  auto list = std::get<std::vector<ElementRef>>(*windows);
  ASSERT_EQ(list.size(), 1u);
  ElementRef win = list[0];
  EXPECT_EQ(SimAccessibility::elementID(win), "win");
  EXPECT_EQ(std::get<Point>(*ax.copyAttributeValue(win, "AXPosition")), (Point{100, 100}));
  EXPECT_EQ(std::get<Size>(*ax.copyAttributeValue(win, "AXSize")), (Size{400, 300}));
  ElementRef close = std::get<ElementRef>(*ax.copyAttributeValue(win, "AXCloseButton"));
  EXPECT_EQ(SimAccessibility::elementID(close), "close");
  EXPECT_FALSE(ax.copyAttributeValue(win, "AXMinimizeButton"));  // not described: fails
  ElementRef zoom = std::get<ElementRef>(*ax.copyAttributeValue(win, "AXZoomButton"));
  EXPECT_EQ(std::get<bool>(*ax.copyAttributeValue(zoom, "AXEnabled")), false);
  ElementRef parent = std::get<ElementRef>(*ax.copyAttributeValue(close, "AXParent"));
  EXPECT_TRUE(ax.equal(parent, win));
  EXPECT_FALSE(ax.equal(parent, close));
  EXPECT_EQ(ax.processID(close), 100);
  EXPECT_EQ(ax.processID(app), 100);
  EXPECT_FALSE(ax.copyAttributeValue(ax.application(300), "AXWindows"));  // no such process
}

TEST(SimAccessibility, NullsOtherKindsFailuresAndExtraAttributes) {
  json world = json::parse(R"({"windows": [{"pid": 1, "bounds": [0, 0, 100, 100]}],
    "apps": {"1": {"windows": ["w", 5], "elements": [
      {"id": "e", "frame": [0, 0, 100, 100], "role": 12, "enabled": null, "parent": "app:1",
       "failAttributes": ["AXSize"], "attributes": {"AXTitle": "Hello"}, "pid": 42}
    ]}}})");
  SimHost host(world, "", "");
  SimAccessibility ax(host);
  EXPECT_TRUE(std::holds_alternative<OtherAccessibilityValue>(
      *ax.copyAttributeValue(ax.application(1), "AXWindows")));
  ElementRef e = hitAt(ax, 50, 50);
  ASSERT_TRUE(e);
  EXPECT_TRUE(std::holds_alternative<OtherAccessibilityValue>(*ax.copyAttributeValue(e, "AXRole")));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(*ax.copyAttributeValue(e, "AXEnabled")));
  EXPECT_FALSE(ax.copyAttributeValue(e, "AXSize"));
  EXPECT_TRUE(ax.copyAttributeValue(e, "AXPosition"));
  EXPECT_EQ(std::get<std::string>(*ax.copyAttributeValue(e, "AXTitle")), "Hello");
  EXPECT_EQ(ax.processID(e), 42);
}

TEST(SimAccessibility, HitTestingAnswersTheDeepestElementOfTheFrontWindow) {
  TempDir dir;
  SimHost host(sampleWorld(), (dir / "trace").string(), "");
  SimAccessibility ax(host);
  EXPECT_EQ(SimAccessibility::elementID(hitAt(ax, 310, 305)), "label");
  EXPECT_EQ(SimAccessibility::elementID(hitAt(ax, 355, 305)), "save");
  EXPECT_EQ(SimAccessibility::elementID(hitAt(ax, 200, 200)), "win");
  EXPECT_EQ(hitAt(ax, 50, 50), nullptr);                                    // no window there
  EXPECT_EQ(ax.elementAtPosition(ax.application(100), 310, 305), nullptr);  // not system-wide
  auto hits = eventsNamed(readTrace(dir / "trace"), "ax_hit");
  ASSERT_EQ(hits.size(), 5u);
  EXPECT_EQ(hits[0]["x"], 310.0);
  EXPECT_EQ(hits[0]["pid"], 100);
  EXPECT_EQ(hits[0]["element"], "label");
  EXPECT_EQ(hits[0]["ok"], true);
  EXPECT_EQ(hits[3]["ok"], false);
  EXPECT_TRUE(hits[3]["pid"].is_null());
}

TEST(SimAccessibility, FrontWindowHidesElementsOfWindowsBehind) {
  json world = sampleWorld();
  // A window of an application without elements lies over the editor's save button.
  world["windows"].insert(world["windows"].begin(),
                          json::object({{"pid", 300}, {"bounds", {290, 290, 100, 100}}}));
  world["apps"]["300"] = json::object();
  SimHost host(world, "", "");
  SimAccessibility ax(host);
  EXPECT_EQ(hitAt(ax, 310, 305), nullptr);
  EXPECT_EQ(SimAccessibility::elementID(hitAt(ax, 200, 200)), "win");
}

TEST(SimAccessibility, InvisibleAndMouseTransparentWindowsLetHitsThrough) {
  json world = sampleWorld();
  world["apps"]["300"] = json::object();
  world["windows"].insert(
      world["windows"].begin(),
      json::object(
          {{"pid", 300}, {"layer", 25}, {"bounds", {0, 0, 1920, 1080}}, {"ignoresMouse", true}}));
  world["windows"].insert(
      world["windows"].begin(),
      json::object({{"pid", 300}, {"bounds", {0, 0, 1920, 1080}}, {"alpha", 0}}));
  SimHost host(world, "", "");
  SimAccessibility ax(host);
  EXPECT_EQ(SimAccessibility::elementID(hitAt(ax, 310, 305)), "label");
}

TEST(SimAccessibility, FailingApplicationsAndElements) {
  json world = sampleWorld();
  world["apps"]["100"]["elements"][3]["fail"] = true;  // save
  world["apps"]["200"]["fail"] = true;
  SimHost host(world, "", "");
  SimAccessibility ax(host);
  EXPECT_EQ(hitAt(ax, 355, 305), nullptr);  // hits the failing save button
  EXPECT_EQ(hitAt(ax, 700, 200), nullptr);  // the browser does not answer
  ElementRef label = hitAt(ax, 310, 305);
  ASSERT_TRUE(label);
  ElementRef save = std::get<ElementRef>(*ax.copyAttributeValue(label, "AXParent"));
  EXPECT_FALSE(ax.copyAttributeValue(save, "AXRole"));
  EXPECT_FALSE(ax.processID(save));
  EXPECT_FALSE(ax.copyAttributeValue(ax.application(200), "AXWindows"));
}

TEST(SimAccessibility, SlowAnswersFailAfterTheMessagingTimeout) {
  TempDir dir;
  json world = sampleWorld();
  world["apps"]["100"]["delayMs"] = 60000;
  world["apps"]["100"]["elements"][0]["delayMs"] = 1;  // the window answers quickly
  SimHost host(world, (dir / "trace").string(), "");
  SimAccessibility ax(host);
  ax.setMessagingTimeout(ax.systemWide(), 0.05f);
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(hitAt(ax, 310, 305), nullptr);
  EXPECT_FALSE(ax.copyAttributeValue(ax.application(100), "AXWindows"));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  auto events = readTrace(dir / "trace");
  auto timeout = eventsNamed(events, "ax_timeout");
  ASSERT_EQ(timeout.size(), 1u);
  EXPECT_EQ(timeout[0]["element"], "system");
  EXPECT_NEAR(timeout[0]["seconds"].get<double>(), 0.05, 1e-6);
  auto hits = eventsNamed(events, "ax_hit");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0]["timeout"], true);
  auto attrs = eventsNamed(events, "ax_attr");
  ASSERT_EQ(attrs.size(), 1u);
  EXPECT_EQ(attrs[0]["timeout"], true);
  EXPECT_EQ(attrs[0]["ok"], false);
}

TEST(SimAccessibility, AnswerWithinTheTimeoutSucceeds) {
  json world = sampleWorld();
  world["apps"]["100"]["delayMs"] = 1;
  SimHost host(world, "", "");
  SimAccessibility ax(host);
  ax.setMessagingTimeout(ax.systemWide(), 0.05f);
  EXPECT_EQ(SimAccessibility::elementID(hitAt(ax, 310, 305)), "label");
}

TEST(SimAccessibility, TraceRecordsEveryElementRequest) {
  TempDir dir;
  SimHost host(sampleWorld(), (dir / "trace").string(), "");
  SimAccessibility ax(host);
  ax.isProcessTrusted();
  ElementRef label = hitAt(ax, 310, 305);
  ax.copyAttributeValue(label, "AXRole");
  ax.copyAttributeValue(label, "AXNothing");
  ax.processID(label);
  ax.runningApplication(100);
  ax.copyWindowInfo(17, 0);
  auto events = readTrace(dir / "trace");
  std::vector<std::string> names;
  for (const auto& e : events) names.push_back(e["event"]);
  EXPECT_THAT(names, ElementsAre("ax_trusted", "ax_hit", "ax_attr", "ax_attr", "ax_pid",
                                 "app_lookup", "window_list"));
  EXPECT_EQ(events[2]["element"], "label");
  EXPECT_EQ(events[2]["attribute"], "AXRole");
  EXPECT_EQ(events[2]["ok"], true);
  EXPECT_EQ(events[3]["ok"], false);
  EXPECT_EQ(events[6]["count"], 2);
}

TEST(SimAccessibility, ControlChangesTrustWindowsAndElements) {
  TempDir dir;
  SimHost host(sampleWorld(), "", (dir / "control").string());
  SimAccessibility ax(host);
  host.startControl();
  auto control = dir / "control";

  EXPECT_EQ(ask(control, {{"request", "set"}, {"trusted", false}}), json({{"ok", true}}));
  EXPECT_FALSE(ax.isProcessTrusted());

  // Move the editor window away: its elements are no longer under the old position.
  EXPECT_EQ(ask(control, {{"request", "set"},
                          {"windows", json::parse(R"([{"pid": 100, "bounds": [0, 0, 50, 50]}])")}}),
            json({{"ok", true}}));
  EXPECT_EQ(hitAt(ax, 310, 305), nullptr);
  EXPECT_EQ(ax.copyWindowInfo(17, 0)->size(), 1u);

  // A new element, then a replacement of it, then its removal.
  json button = {{"id", "new"}, {"role", "AXButton"}, {"frame", {10, 10, 20, 20}}};
  EXPECT_EQ(ask(control, {{"request", "ax_element"}, {"pid", 100}, {"element", button}}),
            json({{"ok", true}}));
  EXPECT_EQ(SimAccessibility::elementID(hitAt(ax, 15, 15)), "new");
  button["frame"] = {30, 30, 10, 10};
  ask(control, {{"request", "ax_element"}, {"pid", 100}, {"element", button}});
  EXPECT_EQ(hitAt(ax, 15, 15), nullptr);
  EXPECT_EQ(SimAccessibility::elementID(hitAt(ax, 35, 35)), "new");
  EXPECT_EQ(ask(control, {{"request", "ax_remove_element"}, {"id", "new"}}), json({{"ok", true}}));
  EXPECT_EQ(hitAt(ax, 35, 35), nullptr);
  EXPECT_EQ(ask(control, {{"request", "ax_remove_element"}, {"id", "new"}})["error"], "no_element");
  EXPECT_EQ(ask(control, {{"request", "ax_element"}, {"pid", 555}, {"element", button}})["error"],
            "no_app");
  EXPECT_EQ(ask(control, {{"request", "ax_element"}, {"pid", 100}, {"element", 3}})["error"],
            "malformed");

  // Replace an application, then remove it.
  EXPECT_EQ(ask(control, {{"request", "ax_app"},
                          {"pid", 100},
                          {"app", {{"bundleIdentifier", "org.mozilla.firefox"}}}}),
            json({{"ok", true}}));
  EXPECT_EQ(ax.runningApplication(100)->bundleIdentifier, "org.mozilla.firefox");
  EXPECT_EQ(hitAt(ax, 10, 10), nullptr);  // its elements went with the old description
  ask(control, {{"request", "ax_app"}, {"pid", 100}, {"app", nullptr}});
  EXPECT_FALSE(ax.runningApplication(100));
  host.stopControl();
}

// ---- the finder on the simulated host ----

class FinderOnSim : public ::testing::Test {
 protected:
  void start(json world) {
    host = std::make_unique<SimHost>(std::move(world), (dir / "trace").string(), "");
    ax = std::make_unique<SimAccessibility>(*host);
    finder = SnapTargetFinder::create({*ax, *ax, *ax, *ax});
  }
  std::vector<json> trace() { return readTrace(dir / "trace"); }

  TempDir dir;
  std::unique_ptr<SimHost> host;
  std::unique_ptr<SimAccessibility> ax;
  std::shared_ptr<SnapTargetFinder> finder;  // destroyed before the host it uses
};

TEST_F(FinderOnSim, WideSearchFindsButtonsAndTitleBarButtons) {
  start(sampleWorld());
  finder->scanWide({320, 310});
  finder->drain();
  EXPECT_THAT(*finder->takeWide(), ElementsAre(makeRect(300, 300, 60, 20)));
  finder->scanWide({115, 111});
  finder->drain();
  // The close button from the title bar (the zoom button is disabled), then from a sample.
  EXPECT_THAT(*finder->takeWide(),
              ElementsAre(makeRect(108, 104, 14, 14), makeRect(108, 104, 14, 14)));
  auto timeout = eventsNamed(trace(), "ax_timeout");
  ASSERT_EQ(timeout.size(), 1u);
  EXPECT_EQ(timeout[0]["element"], "system");
}

TEST_F(FinderOnSim, BrowserContentIsNeverSampledButItsTitleBarButtonsCount) {
  start(sampleWorld());
  finder->scanWide({810, 305});
  finder->drain();
  EXPECT_THAT(*finder->takeWide(), IsEmpty());
  finder->scanWide({615, 111});
  finder->drain();
  EXPECT_THAT(*finder->takeWide(), ElementsAre(makeRect(608, 104, 14, 14)));
  EXPECT_THAT(eventsNamed(trace(), "ax_hit"), IsEmpty());
}

TEST_F(FinderOnSim, ElectronBundleOnDiskMakesAnApplicationWeb) {
  fs::create_directories(dir / "Chat.app/Contents/Frameworks/Electron Framework.framework");
  json world = sampleWorld();
  world["apps"]["100"]["bundleLocation"] = (dir / "Chat.app").string();
  start(world);
  finder->scanWide({320, 310});
  finder->drain();
  EXPECT_THAT(*finder->takeWide(), IsEmpty());
  EXPECT_THAT(eventsNamed(trace(), "ax_hit"), IsEmpty());
}

TEST_F(FinderOnSim, WithoutTrustNothingIsAskedAndResultsAreEmpty) {
  json world = sampleWorld();
  world["trusted"] = false;
  start(world);
  finder->refresh({320, 310}, 1'000'000'000'000);
  finder->scanWide({320, 310});
  finder->drain();
  EXPECT_THAT(finder->targets(), IsEmpty());
  EXPECT_THAT(*finder->takeWide(), IsEmpty());
  std::vector<std::string> names;
  for (const auto& e : trace()) names.push_back(e["event"]);
  EXPECT_THAT(names, ElementsAre("ax_timeout", "ax_trusted", "ax_trusted"));
}

TEST_F(FinderOnSim, SeenButtonIsReadOnce) {
  start(sampleWorld());
  finder->scanWide({330, 310});
  finder->drain();
  EXPECT_THAT(*finder->takeWide(), ElementsAre(makeRect(300, 300, 60, 20)));
  int pidReads = 0;
  for (const auto& e : eventsNamed(trace(), "ax_pid")) pidReads += e["element"] == "save";
  EXPECT_EQ(pidReads, 1);
}

TEST_F(FinderOnSim, ThrottlingShowsInTheTrace) {
  start(sampleWorld());
  constexpr std::uint64_t ms = 1'000'000;
  constexpr std::uint64_t t = 1'000'000 * ms;
  finder->refresh({320, 310}, t);
  finder->drain();
  finder->refresh({340, 310}, t + 30 * ms);   // too soon
  finder->refresh({322, 310}, t + 100 * ms);  // too close
  finder->drain();
  EXPECT_THAT(finder->targets(), ElementsAre(makeRect(300, 300, 60, 20)));
  finder->refresh({330, 310}, t + 100 * ms);
  finder->drain();
  // One search per accepted request: each asks for trust once and hit-tests the 13 samples.
  EXPECT_EQ(eventsNamed(trace(), "ax_trusted").size(), 2u);
  EXPECT_EQ(eventsNamed(trace(), "ax_hit").size(), 26u);
}

TEST_F(FinderOnSim, UnansweringApplicationIsBoundedByTheMessagingTimeout) {
  json world = sampleWorld();
  world["apps"]["100"]["delayMs"] = 600000;  // ten minutes per answer
  start(world);
  auto started = std::chrono::steady_clock::now();
  finder->scanWide({320, 310});
  // The session's calls come back while the slow search runs.
  EXPECT_FALSE(finder->takeWide());
  EXPECT_THAT(finder->targets(), IsEmpty());
  finder->refresh({320, 310}, 1'000'000'000'000);
  finder->drain();
  // 25 + 13 samples on the editor, each failing after 50 ms instead of ten minutes.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  EXPECT_THAT(*finder->takeWide(), IsEmpty());
  auto hits = eventsNamed(trace(), "ax_hit");
  ASSERT_EQ(hits.size(), 38u);
  for (const auto& h : hits) EXPECT_EQ(h["timeout"], true) << h.dump();
}

}  // namespace
}  // namespace virelo::sim
