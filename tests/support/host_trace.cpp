#include "tests/support/host_trace.h"

#include <algorithm>
#include <fstream>
#include <thread>

#include "platform/hex.h"

namespace virelo::test {

std::vector<nlohmann::json> HostTrace::events() const {
  std::vector<nlohmann::json> events;
  std::ifstream in(path_);
  for (std::string line; std::getline(in, line);) {
    auto event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_object()) events.push_back(std::move(event));
  }
  return events;
}

std::vector<std::string> HostTrace::reports(const std::string& device) const {
  std::vector<std::string> reports;
  for (const auto& e : events()) {
    if (e.value("event", "") == "hid_input" && e.value("device", "") == device) {
      reports.push_back(e["report"].get<std::string>());
    }
  }
  return reports;
}

bool HostTrace::waitFor(const std::function<bool(const std::vector<nlohmann::json>&)>& predicate,
                        std::chrono::milliseconds timeout) const {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (predicate(events())) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
}

bool HostTrace::waitForReport(const std::string& device, const std::string& hex,
                              std::chrono::milliseconds timeout) const {
  return waitFor(
      [&](const std::vector<nlohmann::json>& events) {
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
          if (it->value("event", "") == "hid_input" && it->value("device", "") == device) {
            return (*it)["report"] == hex;
          }
        }
        return false;
      },
      timeout);
}

std::string keyboardHex(int modifiers, std::vector<int> keys) {
  std::vector<std::uint8_t> report(33, 0);
  report[0] = static_cast<std::uint8_t>(modifiers);
  std::sort(keys.begin(), keys.end());
  for (std::size_t i = 0; i < keys.size() && i < 32; ++i) {
    report[i + 1] = static_cast<std::uint8_t>(keys[i]);
  }
  return toHex(report);
}

}  // namespace virelo::test
