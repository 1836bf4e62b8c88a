#include "platform/sim/sim_window_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "eventsynth/cg_event_output.h"

namespace virelo::sim {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "vl-ws-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  fs::path operator/(const char* name) const { return fs::path(path_) / name; }

 private:
  std::string path_;
};

std::vector<json> readTrace(const fs::path& path) {
  std::vector<json> events;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) events.push_back(json::parse(line));
  return events;
}

// The trace lines of one kind, without their time stamps.
std::vector<json> traced(const fs::path& path, const std::string& kind) {
  std::vector<json> out;
  for (auto& e : readTrace(path)) {
    if (e.value("event", "") != kind) continue;
    e.erase("t_ns");
    e.erase("timestamp");
    out.push_back(e);
  }
  return out;
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

template <typename F>
bool eventually(F predicate) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A tap served by a thread of its own, as a client of the window server would run it.
class TapThread {
 public:
  TapThread(SimWindowServer& server, std::uint64_t mask, EventTapCallback callback) {
    std::mutex m;
    std::condition_variable cv;
    bool ready = false;
    thread_ = std::thread([&, mask, callback = std::move(callback)]() mutable {
      auto loop = server.currentRunLoop();
      auto tap = server.createTap(mask, std::move(callback));
      std::shared_ptr<RunLoopSource> source;
      if (tap) {
        source = tap->createRunLoopSource();
        loop->addSource(source);
        tap->enable(true);
      }
      {
        // Notified under the lock: the constructor's locals live until it has been released.
        std::lock_guard<std::mutex> guard(m);
        tap_ = tap;
        loop_ = loop;
        ready = true;
        cv.notify_all();
      }
      while (!stop_) loop->runFor(0.05);
      if (tap) {
        tap->invalidate();
        loop->removeSource(source);
      }
    });
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return ready; });
  }
  ~TapThread() {
    stop_ = true;
    loop_->stop();
    thread_.join();
  }
  const std::shared_ptr<EventTap>& tap() const { return tap_; }

 private:
  std::atomic<bool> stop_{false};
  std::shared_ptr<EventTap> tap_;
  std::shared_ptr<RunLoop> loop_;
  std::thread thread_;
};

constexpr std::uint64_t kKeyMask = 0x5C00;

Event keyDown(std::uint16_t code) {
  Event e;
  e.type = kEventKeyDown;
  e.keycode = code;
  return e;
}

// ---------------------------------------------------------------------------------------------

TEST(SimWindowServerWorld, DefaultsDescribeOneFullHdDisplayAndTheSystemSettings) {
  SimHost host(json::object(), "", "");
  SimWindowServer server(host);
  EXPECT_EQ(server.activeDisplayBounds(16), (std::vector<Rect>{makeRect(0, 0, 1920, 1080)}));
  EXPECT_EQ(server.createEvent()->location, (Point{960, 540}));
  EXPECT_DOUBLE_EQ(server.keyRepeatDelay(), 0.25);
  EXPECT_DOUBLE_EQ(server.keyRepeatInterval(), 0.03);
  EXPECT_DOUBLE_EQ(server.doubleClickInterval(), 0.5);
  EXPECT_TRUE(server.postEventAccess());
  EXPECT_TRUE(server.listenEventAccess());
  EXPECT_EQ(server.combinedFlagsState(), 0u);
}

TEST(SimWindowServerWorld, WorldKeysSetTheInitialState) {
  SimHost host({{"displays", {{0, 0, 100, 50}, {100, 0, 30, 30}}},
                {"cursor", {5, 6}},
                {"postEventAccess", false},
                {"listenEventAccess", false},
                {"keyRepeatDelay", "nan"},
                {"keyRepeatInterval", "inf"},
                {"doubleClickInterval", "-inf"},
                {"capsLock", true}},
               "", "");
  SimWindowServer server(host);
  EXPECT_EQ(server.activeDisplayBounds(16),
            (std::vector<Rect>{makeRect(0, 0, 100, 50), makeRect(100, 0, 30, 30)}));
  EXPECT_EQ(server.activeDisplayBounds(1), (std::vector<Rect>{makeRect(0, 0, 100, 50)}));
  EXPECT_EQ(server.createEvent()->location, (Point{5, 6}));
  EXPECT_FALSE(server.postEventAccess());
  EXPECT_FALSE(server.listenEventAccess());
  EXPECT_TRUE(std::isnan(server.keyRepeatDelay()));
  EXPECT_EQ(server.keyRepeatInterval(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(server.doubleClickInterval(), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(server.combinedFlagsState(), kFlagAlphaShift);
}

TEST(SimWindowServerWorld, NullDisplaysMakeTheDisplayListFail) {
  SimHost host({{"displays", nullptr}}, "", "");
  SimWindowServer server(host);
  EXPECT_EQ(server.activeDisplayBounds(16), std::nullopt);
}

TEST(SimWindowServerWorld, CursorDefaultsToTheCentreOfTheFirstDisplay) {
  SimHost host({{"displays", {{-100, 0, 100, 200}}}}, "", "");
  SimWindowServer server(host);
  EXPECT_EQ(server.createEvent()->location, (Point{-50, 100}));
}

// ---------------------------------------------------------------------------------------------

TEST(SimWindowServerEvents, CreationFillsTheEventKinds) {
  SimHost host(json::object(), "", "");
  SimWindowServer server(host);
  auto key = server.createKeyboardEvent(11, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->type, kEventKeyUp);
  EXPECT_EQ(key->field(kFieldKeyboardKeycode), 11);
  auto mouse = server.createMouseEvent(kEventRightMouseDown, {3, 4}, 1);
  EXPECT_EQ(mouse->location, (Point{3, 4}));
  EXPECT_EQ(mouse->button, 1u);
  auto scroll = server.createScrollWheelEvent(-3);
  EXPECT_EQ(scroll->type, kEventScrollWheel);
  EXPECT_EQ(scroll->wheelValue, -3);
  SystemDefinedEventArgs args;
  args.subtype = 8;
  args.data1 = 0x100A00;
  args.data2 = -1;
  args.modifierFlags = 0xA00;
  auto media = server.createSystemDefinedEvent(args);
  EXPECT_EQ(media->type, kEventSystemDefined);
  EXPECT_EQ(media->flags, 0xA00u);
  auto data = server.systemDefinedData(*media);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->subtype, 8);
  EXPECT_EQ(data->data1, 0x100A00);
  EXPECT_FALSE(server.systemDefinedData(*key));
}

TEST(SimWindowServerEvents, PostedEventsAreTracedWithTheirFields) {
  TempDir dir;
  SimHost host(json::object(), (dir / "trace").string(), "");
  SimWindowServer server(host);
  auto key = *server.createKeyboardEvent(0, true);
  key.flags = 0x20002;
  key.setField(kFieldSourceUserData, 0x564C464E);
  key.setField(kFieldKeyboardAutorepeat, 0);
  server.post(key);
  auto scroll = *server.createScrollWheelEvent(-3);
  server.post(scroll);
  SystemDefinedEventArgs args;
  args.subtype = 8;
  args.data1 = 0x100A00;
  args.data2 = -1;
  args.modifierFlags = 0xA00;
  server.post(*server.createSystemDefinedEvent(args));
  auto click = *server.createMouseEvent(kEventLeftMouseDown, {7, 8}, 0);
  click.setField(kFieldMouseClickState, 2);
  server.post(click);

  auto lines = traced(dir / "trace", "post");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], json::parse(R"({"event":"post","type":10,"flags":131074,"keycode":0,
      "location":[960.0,540.0],"fields":{"42":1447839310,"8":0}})"));
  EXPECT_EQ(lines[1], json::parse(R"({"event":"post","type":22,"flags":0,
      "location":[960.0,540.0],"wheel":{"units":1,"value":-3}})"));
  EXPECT_EQ(lines[2], json::parse(R"({"event":"post","type":14,"flags":2560,
      "location":[0.0,0.0],"subtype":8,"data1":1051136,"data2":-1})"));
  EXPECT_EQ(lines[3], json::parse(R"({"event":"post","type":1,"flags":0,"button":0,
      "location":[7.0,8.0],"fields":{"1":2}})"));
}

TEST(SimWindowServerEvents, MouseEventsMoveTheCursor) {
  SimHost host(json::object(), "", "");
  SimWindowServer server(host);
  server.post(*server.createMouseEvent(kEventMouseMoved, {10, 20}, 0));
  EXPECT_EQ(server.createEvent()->location, (Point{10, 20}));
  server.post(*server.createKeyboardEvent(0, true));
  EXPECT_EQ(server.createEvent()->location, (Point{10, 20}));
}

TEST(SimWindowServerEvents, WithoutPostingPermissionEventsAreDropped) {
  TempDir dir;
  SimHost host({{"postEventAccess", false}}, (dir / "trace").string(), "");
  SimWindowServer server(host);
  server.post(*server.createMouseEvent(kEventMouseMoved, {10, 20}, 0));
  EXPECT_EQ(server.createEvent()->location, (Point{960, 540}));
  EXPECT_TRUE(traced(dir / "trace", "post").empty());
  EXPECT_EQ(traced(dir / "trace", "post_dropped").size(), 1u);
}

TEST(SimWindowServerEvents, CapsLockKeyPressTogglesAndReleaseDoesNot) {
  SimHost host(json::object(), "", "");
  SimWindowServer server(host);
  auto caps = [&](bool down) {
    auto e = *server.createKeyboardEvent(57, down);
    e.type = kEventFlagsChanged;
    server.post(e);
  };
  caps(true);
  EXPECT_EQ(server.combinedFlagsState(), kFlagAlphaShift);
  caps(false);
  EXPECT_EQ(server.combinedFlagsState(), kFlagAlphaShift);
  caps(true);
  EXPECT_EQ(server.combinedFlagsState(), 0u);
  server.post(*server.createKeyboardEvent(57, true));  // a plain key-down is no flags change
  EXPECT_EQ(server.combinedFlagsState(), 0u);
}

TEST(SimWindowServerEvents, JsonFormRoundTrips) {
  Event e;
  e.type = kEventSystemDefined;
  e.flags = 0x800A00;
  e.location = {1.5, 2};
  e.timestamp = 99;
  e.subtype = 8;
  e.data1 = 0x100A01;
  e.data2 = -1;
  e.setField(kFieldSourceUserData, 5);
  EXPECT_EQ(SimWindowServer::eventFromJson(SimWindowServer::eventToJson(e), {}), e);
  Event k = keyDown(12);
  k.timestamp = 1;
  k.setField(kFieldKeyboardAutorepeat, 1);
  EXPECT_EQ(SimWindowServer::eventFromJson(SimWindowServer::eventToJson(k), {}), k);
}

// ---------------------------------------------------------------------------------------------

TEST(SimWindowServerTaps, PostedKeysPassTheTapOnItsThreadBeforeTakingEffect) {
  TempDir dir;
  SimHost host(json::object(), (dir / "trace").string(), "");
  SimWindowServer server(host);
  std::atomic<bool> otherThread{false};
  const auto poster = std::this_thread::get_id();
  TapThread tap(server, kKeyMask, [&](std::uint32_t, Event e) {
    otherThread = std::this_thread::get_id() != poster;
    e.flags |= kFlagSecondaryFn;
    return e;
  });
  ASSERT_TRUE(tap.tap());
  server.post(keyDown(0));
  EXPECT_TRUE(otherThread);
  auto lines = traced(dir / "trace", "post");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["flags"], kFlagSecondaryFn);
}

TEST(SimWindowServerTaps, ReplacementTakesThePlaceOfThePostedEvent) {
  TempDir dir;
  SimHost host(json::object(), (dir / "trace").string(), "");
  SimWindowServer server(host);
  TapThread tap(server, kKeyMask, [&](std::uint32_t, Event) { return keyDown(100); });
  Event media;
  media.type = kEventSystemDefined;
  media.subtype = 8;
  server.post(media);
  auto lines = traced(dir / "trace", "post");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["type"], kEventKeyDown);
  EXPECT_EQ(lines[0]["keycode"], 100);
}

TEST(SimWindowServerTaps, EventsOutsideTheMaskDoNotReachTheTap) {
  SimHost host(json::object(), "", "");
  SimWindowServer server(host);
  std::atomic<int> calls{0};
  TapThread tap(server, kKeyMask, [&](std::uint32_t, Event e) {
    ++calls;
    return e;
  });
  server.post(*server.createMouseEvent(kEventMouseMoved, {1, 1}, 0));
  server.post(*server.createScrollWheelEvent(1));
  EXPECT_EQ(calls, 0);
  server.post(keyDown(1));
  EXPECT_EQ(calls, 1);
}

TEST(SimWindowServerTaps, NoTapWithoutListeningPermissionAndNoDeliveryWhenItIsWithdrawn) {
  TempDir dir;
  SimHost host(json::object(), (dir / "trace").string(), (dir / "control").string());
  SimWindowServer server(host);
  host.startControl();
  std::atomic<int> calls{0};
  {
    TapThread tap(server, kKeyMask, [&](std::uint32_t, Event e) {
      ++calls;
      return e;
    });
    EXPECT_EQ(ask(dir / "control", {{"request", "set"}, {"listenEventAccess", false}})["ok"], true);
    server.post(keyDown(1));
    EXPECT_EQ(calls, 0);
  }
  TapThread refused(server, kKeyMask, [](std::uint32_t, Event e) { return e; });
  EXPECT_FALSE(refused.tap());
  EXPECT_EQ(traced(dir / "trace", "tap_refused").size(), 1u);
}

TEST(SimWindowServerTaps, DisabledAndInvalidatedTapsReceiveNothing) {
  SimHost host(json::object(), "", "");
  SimWindowServer server(host);
  std::atomic<int> calls{0};
  TapThread tap(server, kKeyMask, [&](std::uint32_t, Event e) {
    ++calls;
    return e;
  });
  tap.tap()->enable(false);
  server.post(keyDown(1));
  EXPECT_EQ(calls, 0);
  tap.tap()->enable(true);
  server.post(keyDown(1));
  EXPECT_EQ(calls, 1);
  tap.tap()->invalidate();
  tap.tap()->enable(true);
  server.post(keyDown(1));
  EXPECT_EQ(calls, 1);
}

TEST(SimWindowServerTaps, SlowTapIsDisabledByTimeoutAndToldSo) {
  TempDir dir;
  SimHost host(json::object(), (dir / "trace").string(), (dir / "control").string());
  SimWindowServer server(host, std::chrono::milliseconds(20));
  host.startControl();
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  std::vector<std::uint32_t> seen;
  TapThread tap(server, kKeyMask, [&](std::uint32_t type, Event e) {
    std::unique_lock<std::mutex> lock(m);
    seen.push_back(type);
    if (type == kEventKeyDown) cv.wait(lock, [&] { return release; });
    return e;
  });
  server.post(keyDown(3));  // returns after the timeout although the callback still blocks
  auto lines = traced(dir / "trace", "post");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["keycode"], 3);
  EXPECT_EQ(traced(dir / "trace", "tap_disabled"),
            (std::vector<json>{{{"event", "tap_disabled"}, {"reason", "timeout"}}}));
  EXPECT_EQ(ask(dir / "control", {{"request", "state"}})["tapEnabled"], false);
  {
    std::lock_guard<std::mutex> guard(m);
    release = true;
  }
  cv.notify_all();
  ASSERT_TRUE(eventually([&] {
    std::lock_guard<std::mutex> guard(m);
    return seen.size() == 2;
  }));
  std::lock_guard<std::mutex> guard(m);
  EXPECT_EQ(seen[1], kEventTapDisabledByTimeout);
}

TEST(SimWindowServerTaps, PostingFromTheTapThreadRunsTheCallbackInline) {
  SimHost host(json::object(), "", "");
  SimWindowServer server(host);
  std::atomic<int> calls{0};
  std::atomic<bool> posted{false};
  TapThread tap(server, kKeyMask, [&](std::uint32_t, Event e) {
    if (++calls == 1) {
      server.post(keyDown(2));  // from inside the tap's own thread
      posted = true;
    }
    return e;
  });
  server.post(keyDown(1));
  EXPECT_TRUE(posted);
  EXPECT_EQ(calls, 2);
}

// ---------------------------------------------------------------------------------------------

class SimWindowServerControl : public ::testing::Test {
 protected:
  SimWindowServerControl() : host(json::object(), (dir / "trace").string(), control()) {
    host.startControl();
  }
  std::string control() { return (dir / "control").string(); }
  json request(const json& r) { return ask(dir / "control", r); }

  TempDir dir;
  SimHost host;
  SimWindowServer server{host};
};

TEST_F(SimWindowServerControl, SetChangesEveryWorldKeyAtRuntime) {
  EXPECT_EQ(request({{"request", "set"},
                     {"postEventAccess", false},
                     {"displays", {{0, 0, 10, 10}}},
                     {"cursor", {1, 2}},
                     {"keyRepeatDelay", 1},
                     {"keyRepeatInterval", "nan"},
                     {"doubleClickInterval", 0.1},
                     {"capsLock", true}}),
            json({{"ok", true}}));
  EXPECT_FALSE(server.postEventAccess());
  EXPECT_EQ(server.activeDisplayBounds(16), (std::vector<Rect>{makeRect(0, 0, 10, 10)}));
  EXPECT_EQ(server.createEvent()->location, (Point{1, 2}));
  EXPECT_DOUBLE_EQ(server.keyRepeatDelay(), 1.0);
  EXPECT_TRUE(std::isnan(server.keyRepeatInterval()));
  EXPECT_DOUBLE_EQ(server.doubleClickInterval(), 0.1);
  EXPECT_EQ(server.combinedFlagsState(), kFlagAlphaShift);
  request({{"request", "set"}, {"displays", nullptr}});
  EXPECT_EQ(server.activeDisplayBounds(16), std::nullopt);
}

TEST_F(SimWindowServerControl, MalformedSetChangesNothing) {
  EXPECT_EQ(request({{"request", "set"}, {"postEventAccess", false}, {"displays", {{1, 2}}}}),
            json({{"ok", false}, {"error", "malformed"}}));
  EXPECT_TRUE(server.postEventAccess());
}

TEST_F(SimWindowServerControl, CursorRequestMovesTheCursor) {
  EXPECT_EQ(request({{"request", "cursor"}, {"x", 300}, {"y", 400.5}}), json({{"ok", true}}));
  EXPECT_EQ(server.createEvent()->location, (Point{300, 400.5}));
}

TEST_F(SimWindowServerControl, StateReportsCursorCapsPermissionsAndTap) {
  auto state = request({{"request", "state"}});
  EXPECT_EQ(state, json::parse(R"({"ok":true,"cursor":[960.0,540.0],"capsLock":false,
      "postEventAccess":true,"listenEventAccess":true,"tapInstalled":false,"tapEnabled":false})"));
  TapThread tap(server, kKeyMask, [](std::uint32_t, Event e) { return e; });
  state = request({{"request", "state"}});
  EXPECT_EQ(state["tapInstalled"], true);
  EXPECT_EQ(state["tapEnabled"], true);
}

TEST_F(SimWindowServerControl, HardwareEventPassesTheTapsAndIsTracedAsItLeavesThem) {
  TapThread tap(server, kKeyMask, [](std::uint32_t, Event e) {
    e.flags |= kFlagSecondaryFn;
    return e;
  });
  auto reply = request({{"request", "hardware"}, {"type", 10}, {"keycode", 0}, {"flags", 2}});
  EXPECT_EQ(reply["ok"], true);
  EXPECT_EQ(reply["result"]["flags"], 0x800002);
  auto lines = traced(dir / "trace", "hardware");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], json::parse(R"({"event":"hardware","type":10,"keycode":0,
      "flags":8388610,"location":[960.0,540.0]})"));
  EXPECT_TRUE(traced(dir / "trace", "post").empty());
}

TEST_F(SimWindowServerControl, CapsLockTogglesOnEachPressWhetherPostedOrFromTheHardware) {
  auto posted = [&](bool down) {
    auto e = *server.createKeyboardEvent(57, down);
    e.type = kEventFlagsChanged;
    server.post(e);
  };
  auto hardware = [&] { request({{"request", "hardware"}, {"type", 12}, {"keycode", 57}}); };
  posted(true);
  hardware();  // pressed on the keyboard while the posted press is held
  EXPECT_EQ(server.combinedFlagsState(), 0u);
  posted(false);
  hardware();
  EXPECT_EQ(server.combinedFlagsState(), 0u);
  hardware();
  EXPECT_EQ(server.combinedFlagsState(), kFlagAlphaShift);
}

TEST_F(SimWindowServerControl, HardwareRequestWithoutTypeIsMalformed) {
  EXPECT_EQ(request({{"request", "hardware"}, {"keycode", 0}}),
            json({{"ok", false}, {"error", "malformed"}}));
}

TEST_F(SimWindowServerControl, DisableTapDeliversTheNotificationAndAnswersAfterIt) {
  std::vector<std::uint32_t> seen;
  std::mutex m;
  std::shared_ptr<EventTap> self;
  TapThread tap(server, kKeyMask, [&](std::uint32_t type, Event e) {
    std::lock_guard<std::mutex> guard(m);
    seen.push_back(type);
    if (type == kEventTapDisabledByUserInput) self->enable(true);
    return e;
  });
  self = tap.tap();
  EXPECT_EQ(request({{"request", "disable_tap"}, {"reason", "timeout"}}),
            json({{"ok", true}, {"taps", 1}}));
  EXPECT_EQ(request({{"request", "state"}})["tapEnabled"], false);
  EXPECT_EQ(request({{"request", "disable_tap"}, {"reason", "user_input"}})["ok"], true);
  EXPECT_EQ(request({{"request", "state"}})["tapEnabled"], true);
  {
    std::lock_guard<std::mutex> guard(m);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{kEventTapDisabledByTimeout,
                                                kEventTapDisabledByUserInput}));
  }
  EXPECT_EQ(request({{"request", "disable_tap"}, {"reason", "other"}})["ok"], false);
}

// ---------------------------------------------------------------------------------------------
// The event synthesis and its tap on the simulated window server.

class SimWindowServerWithOutput : public SimWindowServerControl {
 protected:
  void SetUp() override {
    output.startTap();
    ASSERT_TRUE(eventually([&] { return output.fnSnapshot().ready; }));
  }
  void TearDown() override { output.stopTap(); }

  CGEventOutput output{server};
};

TEST_F(SimWindowServerWithOutput, OwnEventsPassTheTapUnchangedWhileFnIsHeld) {
  std::vector<std::uint8_t> report(33, 0);
  report[1] = 0x04;  // A
  output.keyboard(report, true, 1);
  auto lines = traced(dir / "trace", "post");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["keycode"], 63);
  EXPECT_EQ(lines[0]["type"], 12);
  EXPECT_EQ(lines[1]["keycode"], 0);
  EXPECT_EQ(lines[1]["flags"], 0x800000);
  EXPECT_EQ(lines[1]["fields"], json({{"42", 0x564C464E}, {"8", 0}}));
}

TEST_F(SimWindowServerWithOutput, HardwareKeysGetTheVirtualFnAndHardwareFnIsSeen) {
  std::vector<std::uint8_t> report(33, 0);
  output.keyboard(report, true, 1);
  auto reply = request({{"request", "hardware"}, {"type", 10}, {"keycode", 3}});
  EXPECT_EQ(reply["result"]["flags"], 0x800000);
  output.keyboard(report, false, 2);
  request({{"request", "hardware"}, {"type", 12}, {"keycode", 63}, {"flags", 0x800000}});
  EXPECT_EQ(output.fnSnapshot(), (FnSnapshot{true, true}));
}

TEST_F(SimWindowServerWithOutput, MediaKeysBecomeFunctionKeysWhileFnIsHeld) {
  std::vector<std::uint8_t> report(33, 0);
  output.keyboard(report, true, 1);
  auto reply = request({{"request", "hardware"},
                        {"type", 14},
                        {"subtype", 8},
                        {"data1", 0x100A00},
                        {"data2", -1},
                        {"timestamp", 42}});
  EXPECT_EQ(reply["result"]["type"], 10);
  EXPECT_EQ(reply["result"]["keycode"], 100);
  EXPECT_EQ(reply["result"]["timestamp"], 42);
  output.stopTap();
  // The converted key's release is posted by stop().
  auto lines = traced(dir / "trace", "post");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back()["type"], 11);
  EXPECT_EQ(lines.back()["keycode"], 100);
}

TEST_F(SimWindowServerWithOutput, DisabledTapIsEnabledAgainByTheService) {
  EXPECT_EQ(request({{"request", "disable_tap"}, {"reason", "timeout"}})["ok"], true);
  EXPECT_EQ(request({{"request", "state"}})["tapEnabled"], true);
}

TEST_F(SimWindowServerWithOutput, RevokedListeningTakesTheTapDown) {
  request({{"request", "set"}, {"listenEventAccess", false}});
  ASSERT_TRUE(eventually([&] { return !output.fnSnapshot().ready; }));
  EXPECT_EQ(request({{"request", "state"}})["tapInstalled"], false);
}

}  // namespace
}  // namespace virelo::sim
