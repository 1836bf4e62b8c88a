#include "tests/support/held_input.h"

#include <stdexcept>

namespace virelo::test {
namespace {

// The last report of each device in the trace, as hex ("" when none was sent).
struct LastReports {
  std::string keyboard, media, mouse;
};

LastReports lastReports(const std::vector<nlohmann::json>& events) {
  LastReports last;
  for (const auto& e : events) {
    if (e.value("event", "") != "hid_input") continue;
    const std::string device = e.value("device", "");
    const std::string report = e.value("report", "");
    if (device == "keyboard") last.keyboard = report;
    if (device == "media") last.media = report;
    if (device == "mouse") last.mouse = report;
  }
  return last;
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
  return trace_.waitFor(
      [&](const std::vector<nlohmann::json>& events) {
        auto last = lastReports(events);
        return last.keyboard == keyboard && last.media == media && last.mouse == mouse;
      },
      timeout);
}

bool HeldInput::waitHeld(std::chrono::milliseconds timeout) const {
  return waitLast(keyboardHex(2, {4, 5}), "01", "01000000", timeout);
}

bool HeldInput::waitReleased(std::chrono::milliseconds timeout) const {
  return waitLast(emptyKeyboardHex(), "00", "00000000", timeout);
}

bool HeldInput::released() const {
  return waitReleased(std::chrono::milliseconds(0));
}

}  // namespace virelo::test
