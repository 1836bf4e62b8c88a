// Reads the simulated host's trace file, one JSON object per line.
#pragma once

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace virelo::test {

using namespace std::chrono_literals;

class HostTrace {
 public:
  explicit HostTrace(std::string path) : path_(std::move(path)) {}

  // Every event written so far.
  std::vector<nlohmann::json> events() const;
  // The reports dispatched to one device ("keyboard", "mouse", "media"), in order, as hex.
  std::vector<std::string> reports(const std::string& device) const;
  // Waits until the predicate holds for the events so far; returns whether it did.
  bool waitFor(const std::function<bool(const std::vector<nlohmann::json>&)>& predicate,
               std::chrono::milliseconds timeout = 5s) const;
  // Waits until the device's last report equals the hex text.
  bool waitForReport(const std::string& device, const std::string& hex,
                     std::chrono::milliseconds timeout = 5s) const;

 private:
  std::string path_;
};

// The hex of a keyboard report with these modifiers and keys (ascending), 33 bytes.
std::string keyboardHex(int modifiers, std::vector<int> keys = {});
// The hex of an all-zero keyboard report.
inline std::string emptyKeyboardHex() {
  return keyboardHex(0);
}

}  // namespace virelo::test
