#include "tools/virelo-demo/trace_report.h"

#include <cstdio>
#include <map>

#include "virelo/client/client.h"
#include "virelo/client/keys.h"

namespace virelo::tools {
namespace {

constexpr int kConsumerUsages[] = {client::media::mute,       client::media::volumeUp,
                                   client::media::volumeDown, client::media::playPause,
                                   client::media::nextTrack,  client::media::previousTrack};

std::vector<std::uint8_t> bytesOf(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// Appended rather than concatenated: g++ 12 at -O3 reports a false overlap (-Wrestrict) in an
// inlined "literal" + std::string.
std::string signedText(int value) {
  std::string text = value > 0 ? "+" : "";
  text += std::to_string(value);
  return text;
}

}  // namespace

std::string describeKeyboardReport(const std::vector<std::uint8_t>& report) {
  if (report.empty()) return "(empty report)";
  std::string text = client::modifierNames(report[0]);
  for (std::size_t i = 1; i < report.size(); ++i) {
    if (report[i] == 0) continue;
    if (!text.empty()) text += '+';
    text += client::keyName(report[i]);
  }
  return text.empty() ? "(nothing held)" : text;
}

std::string describeMouseReport(const std::vector<std::uint8_t>& report) {
  if (report.size() < 4) return "(short report)";
  static constexpr const char* kButtons[] = {"left", "right", "middle", "button4", "button5"};
  std::string buttons;
  for (int bit = 0; bit < 5; ++bit) {
    if ((report[0] & (1 << bit)) == 0) continue;
    if (!buttons.empty()) buttons += '+';
    buttons += kButtons[bit];
  }
  if (buttons.empty()) buttons = "none";
  auto axis = [&](std::size_t i) { return static_cast<int>(static_cast<std::int8_t>(report[i])); };
  return "buttons " + buttons + "  dx " + signedText(axis(1)) + "  dy " + signedText(axis(2)) +
         "  wheel " + signedText(axis(3));
}

std::string describeMediaReport(const std::vector<std::uint8_t>& report) {
  if (report.empty()) return "(empty report)";
  std::string text;
  for (int bit = 0; bit < 6; ++bit) {
    if ((report[0] & (1 << bit)) == 0) continue;
    if (!text.empty()) text += '+';
    text += client::mediaName(kConsumerUsages[bit]);
  }
  return text.empty() ? "(nothing held)" : text;
}

std::vector<std::string> describeTrace(const std::vector<nlohmann::json>& events) {
  std::vector<std::string> lines;
  std::map<std::string, std::string> previous;
  std::uint64_t start = 0;
  for (const auto& event : events) {
    std::string kind = event.value("event", "");
    std::string device = event.value("device", "");
    std::uint64_t t = event.value("t_ns", std::uint64_t{0});
    if (start == 0) start = t;
    std::string text;
    if (kind == "hid_activate") {
      text = "device activated";
    } else if (kind == "hid_input") {
      std::string hex = event.value("report", "");
      auto bytes = bytesOf(hex);
      bool moves = device == "mouse" && bytes.size() >= 4 && (bytes[1] || bytes[2] || bytes[3]);
      if (previous[device] == hex && !moves) continue;
      previous[device] = hex;
      if (device == "keyboard") {
        text = describeKeyboardReport(bytes);
      } else if (device == "mouse") {
        text = describeMouseReport(bytes);
      } else if (device == "media") {
        text = describeMediaReport(bytes);
      } else {
        text = hex;
      }
    } else {
      continue;
    }
    char prefix[48];
    std::snprintf(prefix, sizeof(prefix), "%9.1f ms  %-8s  ", static_cast<double>(t - start) / 1e6,
                  device.c_str());
    lines.push_back(prefix + text);
  }
  return lines;
}

}  // namespace virelo::tools
