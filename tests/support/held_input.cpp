#include "tests/support/held_input.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "tests/support/host_trace.h"

namespace virelo::test {
namespace {

// The last report of each device in the trace, as hex ("" when none was sent).
struct LastReports {
  std::string keyboard, media, mouse;
};

void takeReport(const std::string& line, LastReports& last) {
  auto e = nlohmann::json::parse(line, nullptr, false);
  if (!e.is_object() || e.value("event", "") != "hid_input") return;
  const std::string device = e.value("device", "");
  const std::string report = e.value("report", "");
  if (device == "keyboard") last.keyboard = report;
  if (device == "media") last.media = report;
  if (device == "mouse") last.mouse = report;
}

// Reads the trace from `offset` on (the first, possibly cut, line skipped when not at 0).
LastReports lastReportsFrom(const std::string& path, std::streamoff offset) {
  LastReports last;
  std::ifstream in(path, std::ios::binary);
  in.seekg(offset);
  std::string line;
  if (offset > 0) std::getline(in, line);
  while (std::getline(in, line)) takeReport(line, last);
  return last;
}

// The last report of each device. A long soak writes a large trace, so only its tail is read
// unless a device has not reported within it.
LastReports lastReports(const std::string& path) {
  constexpr std::streamoff kTail = 256 * 1024;
  std::error_code ec;
  auto size = static_cast<std::streamoff>(std::filesystem::file_size(path, ec));
  if (!ec && size > kTail) {
    LastReports last = lastReportsFrom(path, size - kTail);
    if (!last.keyboard.empty() && !last.media.empty() && !last.mouse.empty()) return last;
  }
  return lastReportsFrom(path, 0);
}

// What the window server's posted events leave held ("cgevent"): keys down, device modifier
// flags, mouse buttons down and media keys down, replayed from the "post" events of the trace.
struct PostedState {
  std::set<int> keys, buttons, media;
  std::uint64_t flags = 0;
  bool empty() const { return keys.empty() && buttons.empty() && media.empty() && flags == 0; }
  bool full() const { return !keys.empty() && !buttons.empty() && !media.empty() && flags != 0; }
};

PostedState postedState(const std::string& path) {
  // Shift, control, option, command and Fn. Caps lock (0x10000) is a toggle, not a held key: a
  // client that pressed and released it leaves it on, as a real keyboard does.
  constexpr std::uint64_t kModifierFlags = 0x1E0000 | 0x800000;
  // The state is replayed incrementally: a long soak writes a large trace, and only the lines
  // added since the last call are read.
  struct Replay {
    std::streamoff offset = 0;
    PostedState state;
  };
  static std::mutex mutex;
  static std::map<std::string, Replay> replays;
  std::lock_guard<std::mutex> guard(mutex);
  Replay& replay = replays[path];
  PostedState& state = replay.state;
  std::ifstream in(path, std::ios::binary);
  in.seekg(replay.offset);
  for (std::string line; std::getline(in, line);) {
    if (in.eof()) break;  // a line still being written is read next time
    replay.offset += static_cast<std::streamoff>(line.size()) + 1;
    auto e = nlohmann::json::parse(line, nullptr, false);
    if (!e.is_object() || e.value("event", "") != "post") continue;
    int type = e.value("type", -1);
    switch (type) {
      case 10:
        state.keys.insert(e.value("keycode", -1));
        break;
      case 11:
        state.keys.erase(e.value("keycode", -1));
        break;
      case 12:
        state.flags = e.value("flags", std::uint64_t{0}) & kModifierFlags;
        break;
      case 1:
      case 3:
      case 25:
        state.buttons.insert(e.value("button", type));
        break;
      case 2:
      case 4:
      case 26:
        state.buttons.erase(e.value("button", type - 1));
        break;
      case 14: {
        if (e.value("subtype", -1) != 8) break;
        auto data1 = e.value("data1", std::int64_t{0});
        int key = static_cast<int>((data1 >> 16) & 0xFFFF);
        int keyState = static_cast<int>((data1 >> 8) & 0xFF);
        if (keyState == 0xA) state.media.insert(key);
        if (keyState == 0xB) state.media.erase(key);
        break;
      }
      default:
        break;
    }
  }
  return state;
}

bool waitPosted(const std::string& path, bool wantHeld, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto state = postedState(path);
    if (wantHeld ? state.full() : state.empty()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

std::vector<nlohmann::json> holdEverythingCommands() {
  return {{{"cmd", "keyboard"}, {"modifiers", 2}, {"keys", {4, 5}}},
          {{"cmd", "consumer"}, {"usages", {0xE2}}},
          {{"cmd", "buttons"}, {"buttons", 1}}};
}

void holdEverything(TestClient& client) {
  const nlohmann::json ack = {{"ok", true}, {"ready", true}};
  for (const auto& command : holdEverythingCommands()) {
    auto reply = client.command(command);
    if (reply != ack) throw std::runtime_error("not acknowledged: " + reply.dump());
  }
}

bool HeldInput::waitLast(const std::string& keyboard, const std::string& media,
                         const std::string& mouse, std::chrono::milliseconds timeout) const {
  if (backend_ != "corehid") throw std::runtime_error("no trace reader for " + backend_);
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto last = lastReports(tracePath_);
    if (last.keyboard == keyboard && last.media == media && last.mouse == mouse) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool HeldInput::waitHeld(std::chrono::milliseconds timeout) const {
  if (backend_ == "cgevent") return waitPosted(tracePath_, true, timeout);
  return waitLast(keyboardHex(2, {4, 5}), "01", "01000000", timeout);
}

bool HeldInput::waitReleased(std::chrono::milliseconds timeout) const {
  if (backend_ == "cgevent") return waitPosted(tracePath_, false, timeout);
  return waitLast(emptyKeyboardHex(), "00", "00000000", timeout);
}

bool HeldInput::released() const {
  return waitReleased(std::chrono::milliseconds(0));
}

}  // namespace virelo::test
