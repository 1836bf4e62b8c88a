// Readable text for what reached the simulated host: its trace events with the HID input reports
// decoded (keys with modifiers, buttons and movement, media keys).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace virelo::tools {

// "ctrl+shift+a", or "(nothing held)".
std::string describeKeyboardReport(const std::vector<std::uint8_t>& report);
// "buttons left  dx +3  dy -2  wheel 0".
std::string describeMouseReport(const std::vector<std::uint8_t>& report);
// "volume-up", or "(nothing held)".
std::string describeMediaReport(const std::vector<std::uint8_t>& report);

// One line per trace event worth showing, with its time since the first event. A report equal to
// the device's previous one is left out (the service re-sends complete state), except mouse
// reports that move or scroll.
std::vector<std::string> describeTrace(const std::vector<nlohmann::json>& events);

}  // namespace virelo::tools
