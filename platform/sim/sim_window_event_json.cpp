// The trace form of events, and the world form of displays and points.
#include <stdexcept>
#include <string>

#include "core/monotonic_clock.h"
#include "platform/sim/sim_window_state.h"

namespace virelo::sim {

std::optional<std::vector<Rect>> parseDisplays(const nlohmann::json& value) {
  if (value.is_null()) return std::nullopt;
  if (!value.is_array()) throw std::invalid_argument("displays");
  std::vector<Rect> displays;
  for (const auto& d : value) {
    if (!d.is_array() || d.size() != 4) throw std::invalid_argument("displays");
    displays.push_back(
        makeRect(d[0].get<double>(), d[1].get<double>(), d[2].get<double>(), d[3].get<double>()));
  }
  return displays;
}

Point parsePoint(const nlohmann::json& value) {
  if (!value.is_array() || value.size() != 2) throw std::invalid_argument("point");
  return {value[0].get<double>(), value[1].get<double>()};
}

nlohmann::json SimWindowServer::eventToJson(const Event& event) {
  nlohmann::json j = {{"type", event.type},
                      {"flags", event.flags},
                      {"location", {event.location.x, event.location.y}},
                      {"timestamp", event.timestamp}};
  if (isKeyboardEventType(event.type)) j["keycode"] = event.keycode;
  if (isMouseEventType(event.type)) j["button"] = event.button;
  if (!event.fields.empty()) {
    nlohmann::json fields = nlohmann::json::object();
    for (const auto& [field, value] : event.fields) fields[std::to_string(field)] = value;
    j["fields"] = std::move(fields);
  }
  if (event.type == kEventSystemDefined) {
    j["subtype"] = event.subtype;
    j["data1"] = event.data1;
    j["data2"] = event.data2;
  }
  if (event.type == kEventScrollWheel) {
    j["wheel"] = {{"units", static_cast<int>(event.wheelUnits)}, {"value", event.wheelValue}};
  }
  return j;
}

Event SimWindowServer::eventFromJson(const nlohmann::json& json, Point defaultLocation) {
  Event e;
  e.type = json.at("type").get<std::uint32_t>();
  e.flags = json.value("flags", std::uint64_t{0});
  e.location = json.contains("location") ? parsePoint(json["location"]) : defaultLocation;
  e.timestamp = json.contains("timestamp") ? json["timestamp"].get<std::uint64_t>() : monotonicNS();
  e.keycode = json.value("keycode", std::uint16_t{0});
  e.button = json.value("button", std::uint32_t{0});
  if (json.contains("fields")) {
    for (const auto& [key, value] : json["fields"].items()) {
      e.setField(std::stoi(key), value.get<std::int64_t>());
    }
  }
  e.subtype = json.value("subtype", std::int16_t{0});
  e.data1 = json.value("data1", std::int64_t{0});
  e.data2 = json.value("data2", std::int64_t{0});
  if (json.contains("wheel")) {
    const auto& w = json["wheel"];
    e.wheelUnits = w.value("units", 1) == 0 ? ScrollUnits::pixels : ScrollUnits::lines;
    e.wheelValue = w.at("value").get<std::int32_t>();
  }
  return e;
}

}  // namespace virelo::sim
