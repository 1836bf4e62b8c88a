// The readers of the world's descriptions, and the accessibility state built from them.
#include <stdexcept>

#include "platform/sim/sim_accessibility_state.h"

namespace virelo::sim {
namespace ax {
namespace {

std::optional<std::vector<double>> numbers(const json& value, std::size_t count) {
  if (!value.is_array() || value.size() != count) return std::nullopt;
  std::vector<double> v;
  for (const auto& n : value) {
    if (!n.is_number()) return std::nullopt;
    v.push_back(n.get<double>());
  }
  return v;
}

AccessibilityValue elementsValue(const json& value) {
  std::vector<ElementRef> list;
  for (const auto& id : value) {
    if (!id.is_string()) return OtherAccessibilityValue{};
    list.push_back(handle(id.get<std::string>()));
  }
  return list;
}

// Short world keys of the attributes.
const std::map<std::string, std::string>& shortKeys() {
  static const std::map<std::string, std::string> keys = {
      {"AXRole", "role"},
      {"AXParent", "parent"},
      {"AXPosition", "position"},
      {"AXSize", "size"},
      {"AXEnabled", "enabled"},
      {"AXCloseButton", "closeButton"},
      {"AXMinimizeButton", "minimizeButton"},
      {"AXZoomButton", "zoomButton"},
      {"AXFullScreenButton", "fullScreenButton"},
      {"AXWindows", "windows"}};
  return keys;
}

// The world value of an attribute of an element as described, or nullopt when it has none.
std::optional<json> describedAttribute(const json& description, const std::string& attribute) {
  const auto& keys = shortKeys();
  auto k = keys.find(attribute);
  if (k != keys.end()) {
    auto it = description.find(k->second);
    if (it != description.end()) return *it;
  }
  auto extra = description.find("attributes");
  if (extra != description.end() && extra->is_object()) {
    auto it = extra->find(attribute);
    if (it != extra->end()) return *it;
  }
  auto frame = description.find("frame");
  if (frame != description.end()) {
    if (auto r = rectOf(*frame)) {
      if (attribute == "AXPosition") return json::array({r->origin.x, r->origin.y});
      if (attribute == "AXSize") return json::array({r->size.width, r->size.height});
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::int32_t> pidOfAppID(const std::string& id) {
  if (id.rfind("app:", 0) != 0) return std::nullopt;
  try {
    std::size_t used = 0;
    long long v = std::stoll(id.substr(4), &used);
    if (used != id.size() - 4) return std::nullopt;
    return static_cast<std::int32_t>(v);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<Rect> rectOf(const json& value) {
  auto v = numbers(value, 4);
  if (!v) return std::nullopt;
  return makeRect((*v)[0], (*v)[1], (*v)[2], (*v)[3]);
}

std::optional<std::vector<Rect>> displaysOf(const json& value) {
  if (value.is_null()) return std::nullopt;
  std::vector<Rect> displays;
  if (!value.is_array()) return displays;
  for (const auto& d : value) {
    if (auto r = rectOf(d)) displays.push_back(*r);
  }
  return displays;
}

double delayOf(const json& description) {
  auto it = description.find("delayMs");
  return it != description.end() && it->is_number() ? it->get<double>() : -1;
}

bool flagOf(const json& description, const char* key) {
  auto it = description.find(key);
  return it != description.end() && it->is_boolean() && it->get<bool>();
}

// The value of a world JSON value read as the given attribute.
AccessibilityValue valueOf(const std::string& attribute, const json& value) {
  if (value.is_null()) return std::monostate{};
  if (attribute == "AXPosition") {
    if (auto v = numbers(value, 2)) return Point{(*v)[0], (*v)[1]};
    return OtherAccessibilityValue{};
  }
  if (attribute == "AXSize") {
    if (auto v = numbers(value, 2)) return Size{(*v)[0], (*v)[1]};
    return OtherAccessibilityValue{};
  }
  if (attribute == "AXParent" || attribute == "AXCloseButton" || attribute == "AXMinimizeButton" ||
      attribute == "AXZoomButton" || attribute == "AXFullScreenButton") {
    if (value.is_string()) return handle(value.get<std::string>());
    return OtherAccessibilityValue{};
  }
  if (attribute == "AXWindows" || attribute == "AXChildren") {
    if (value.is_array()) return elementsValue(value);
    return OtherAccessibilityValue{};
  }
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>();
  return OtherAccessibilityValue{};
}

// The world value of an attribute as a read answers it: nullopt when the element lacks it or
// its reads are set to fail.
std::optional<json> rawAttribute(const json& description, const std::string& attribute) {
  auto failing = description.find("failAttributes");
  if (failing != description.end() && failing->is_array()) {
    for (const auto& name : *failing) {
      if (name == attribute) return std::nullopt;
    }
  }
  return describedAttribute(description, attribute);
}

// Where an element lies on the screen, for hit-testing (whether or not its reads fail).
std::optional<Rect> frameOf(const json& description) {
  auto position = describedAttribute(description, "AXPosition");
  auto size = describedAttribute(description, "AXSize");
  if (!position || !size) return std::nullopt;
  auto p = numbers(*position, 2);
  auto s = numbers(*size, 2);
  if (!p || !s) return std::nullopt;
  return makeRect((*p)[0], (*p)[1], (*s)[0], (*s)[1]);
}

// The world form of a window entry turned into the window server's dictionary.
json windowDictionary(const json& entry) {
  if (!entry.is_object()) return entry;
  json d = json::object();
  if (entry.contains("pid")) d[kWindowOwnerPID] = entry["pid"];
  if (!entry.contains("layer")) {
    d[kWindowLayer] = 0;
  } else if (!entry["layer"].is_null()) {
    d[kWindowLayer] = entry["layer"];
  }
  if (entry.contains("bounds")) {
    const auto& b = entry["bounds"];
    if (auto r = rectOf(b)) {
      d[kWindowBounds] = {{"X", r->origin.x},
                          {"Y", r->origin.y},
                          {"Width", r->size.width},
                          {"Height", r->size.height}};
    } else {
      d[kWindowBounds] = b;
    }
  }
  if (entry.contains("alpha")) d[kWindowAlpha] = entry["alpha"];
  return d;
}

}  // namespace ax

using namespace ax;

void SimAccessibility::State::removeApp(std::int32_t pid) {
  for (const auto& id : order[pid]) elements.erase(id);
  order.erase(pid);
  apps.erase(pid);
}

void SimAccessibility::State::putElement(std::int32_t pid, const json& description) {
  if (!description.is_object() || !description.contains("id") || !description["id"].is_string()) {
    throw std::invalid_argument("element");
  }
  std::string id = description["id"].get<std::string>();
  auto old = elements.find(id);
  if (old != elements.end()) std::erase(order[old->second.pid], id);
  elements[id] = {pid, description};
  order[pid].push_back(id);
}

void SimAccessibility::State::putApp(std::int32_t pid, const json& description) {
  removeApp(pid);
  if (description.is_null()) return;
  if (!description.is_object()) throw std::invalid_argument("app");
  json app = description;
  app.erase("elements");
  apps[pid] = app;
  order[pid];
  auto list = description.find("elements");
  if (list != description.end() && list->is_array()) {
    for (const auto& e : *list) putElement(pid, e);
  }
}

void SimAccessibility::State::putApps(const json& all) {
  apps.clear();
  elements.clear();
  order.clear();
  if (!all.is_object()) return;
  for (const auto& [key, description] : all.items()) {
    try {
      putApp(static_cast<std::int32_t>(std::stol(key)), description);
    } catch (const std::exception&) {
      // An application under a key that is no process id, or a malformed one, is left out.
    }
  }
}

float SimAccessibility::State::timeoutFor(const std::string& id) const {
  auto it = elementTimeouts.find(id);
  return it == elementTimeouts.end() ? timeout : it->second;
}

// The depth of an element below the top of its tree, following parent ids.
int SimAccessibility::State::depth(const std::string& id) const {
  int d = 0;
  std::string current = id;
  while (d < kMaxDepth) {
    auto it = elements.find(current);
    if (it == elements.end()) break;
    auto parent = it->second.description.find("parent");
    if (parent == it->second.description.end() || !parent->is_string()) break;
    current = parent->get<std::string>();
    ++d;
  }
  return d;
}

std::optional<std::int32_t> SimAccessibility::State::windowOwnerAt(Point p) const {
  for (const auto& w : *windows) {
    if (!w.is_object() || !w.contains("pid") || !w["pid"].is_number_integer()) continue;
    auto bounds = rectOf(w.value("bounds", json()));
    if (!bounds || !bounds->contains(p) || flagOf(w, "ignoresMouse")) continue;
    auto alpha = w.find("alpha");
    if (alpha != w.end() && alpha->is_number() && alpha->get<double>() <= 0.01) continue;
    return w["pid"].get<std::int32_t>();
  }
  return std::nullopt;
}

std::string SimAccessibility::State::elementAt(std::int32_t pid, Point p) {
  std::string hit;
  int best = -1;
  for (const auto& id : order[pid]) {
    const auto& description = elements[id].description;
    auto frame = frameOf(description);
    if (!frame || !frame->contains(p)) continue;
    int d = depth(id);
    if (d >= best) {
      best = d;
      hit = id;
    }
  }
  return hit;
}

}  // namespace virelo::sim
