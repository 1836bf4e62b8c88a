#include "platform/sim/sim_accessibility.h"

#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace virelo::sim {
namespace {

using nlohmann::json;

// The platform's messaging timeout until one is set.
constexpr float kDefaultTimeout = 6.0f;
constexpr int kMaxDepth = 64;

struct SimElement final : AccessibilityElement {
  explicit SimElement(std::string id) : id(std::move(id)) {}
  std::string id;
};

ElementRef handle(std::string id) {
  return std::make_shared<SimElement>(std::move(id));
}

std::string appID(std::int32_t pid) {
  return "app:" + std::to_string(pid);
}

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

std::optional<std::vector<double>> numbers(const json& value, std::size_t count) {
  if (!value.is_array() || value.size() != count) return std::nullopt;
  std::vector<double> v;
  for (const auto& n : value) {
    if (!n.is_number()) return std::nullopt;
    v.push_back(n.get<double>());
  }
  return v;
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

double delayOf(const json& spec) {
  auto it = spec.find("delayMs");
  return it != spec.end() && it->is_number() ? it->get<double>() : -1;
}

bool flagOf(const json& spec, const char* key) {
  auto it = spec.find(key);
  return it != spec.end() && it->is_boolean() && it->get<bool>();
}

AccessibilityValue elementsValue(const json& value) {
  std::vector<ElementRef> list;
  for (const auto& id : value) {
    if (!id.is_string()) return OtherAccessibilityValue{};
    list.push_back(handle(id.get<std::string>()));
  }
  return list;
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
std::optional<json> describedAttribute(const json& spec, const std::string& attribute) {
  const auto& keys = shortKeys();
  auto k = keys.find(attribute);
  if (k != keys.end()) {
    auto it = spec.find(k->second);
    if (it != spec.end()) return *it;
  }
  auto extra = spec.find("attributes");
  if (extra != spec.end() && extra->is_object()) {
    auto it = extra->find(attribute);
    if (it != extra->end()) return *it;
  }
  auto frame = spec.find("frame");
  if (frame != spec.end()) {
    if (auto r = rectOf(*frame)) {
      if (attribute == "AXPosition") return json::array({r->origin.x, r->origin.y});
      if (attribute == "AXSize") return json::array({r->size.width, r->size.height});
    }
  }
  return std::nullopt;
}

// The world value of an attribute as a read answers it: nullopt when the element lacks it or
// its reads are set to fail.
std::optional<json> rawAttribute(const json& spec, const std::string& attribute) {
  auto failing = spec.find("failAttributes");
  if (failing != spec.end() && failing->is_array()) {
    for (const auto& name : *failing) {
      if (name == attribute) return std::nullopt;
    }
  }
  return describedAttribute(spec, attribute);
}

// Where an element lies on the screen, for hit-testing (whether or not its reads fail).
std::optional<Rect> frameOf(const json& spec) {
  auto position = describedAttribute(spec, "AXPosition");
  auto size = describedAttribute(spec, "AXSize");
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

}  // namespace

struct SimAccessibility::State {
  struct Element {
    std::int32_t pid = 0;
    json spec;
  };

  std::mutex mutex;
  bool trusted = true;
  std::int32_t ownPid = 0;
  std::optional<json> windows = json::array();
  std::optional<std::vector<Rect>> displays = std::vector<Rect>{makeRect(0, 0, 1920, 1080)};
  std::map<std::int32_t, json> apps;                       // application specs
  std::map<std::int32_t, std::vector<std::string>> order;  // element ids per application
  std::map<std::string, Element> elements;
  float timeout = kDefaultTimeout;
  std::map<std::string, float> elementTimeouts;

  // All under `mutex`.
  void removeApp(std::int32_t pid) {
    for (const auto& id : order[pid]) elements.erase(id);
    order.erase(pid);
    apps.erase(pid);
  }
  void putElement(std::int32_t pid, const json& spec) {
    if (!spec.is_object() || !spec.contains("id") || !spec["id"].is_string()) {
      throw std::invalid_argument("element");
    }
    std::string id = spec["id"].get<std::string>();
    auto old = elements.find(id);
    if (old != elements.end()) std::erase(order[old->second.pid], id);
    elements[id] = {pid, spec};
    order[pid].push_back(id);
  }
  void putApp(std::int32_t pid, const json& spec) {
    removeApp(pid);
    if (spec.is_null()) return;
    if (!spec.is_object()) throw std::invalid_argument("app");
    json app = spec;
    app.erase("elements");
    apps[pid] = app;
    order[pid];
    auto list = spec.find("elements");
    if (list != spec.end() && list->is_array()) {
      for (const auto& e : *list) putElement(pid, e);
    }
  }
  void putApps(const json& all) {
    apps.clear();
    elements.clear();
    order.clear();
    if (!all.is_object()) return;
    for (const auto& [key, spec] : all.items()) {
      try {
        putApp(static_cast<std::int32_t>(std::stol(key)), spec);
      } catch (const std::exception&) {
        // An application under a key that is no process id, or a malformed one, is left out.
      }
    }
  }
  float timeoutFor(const std::string& id) const {
    auto it = elementTimeouts.find(id);
    return it == elementTimeouts.end() ? timeout : it->second;
  }
  // The depth of an element below the top of its tree, following parent ids.
  int depth(const std::string& id) const {
    int d = 0;
    std::string current = id;
    while (d < kMaxDepth) {
      auto it = elements.find(current);
      if (it == elements.end()) break;
      auto parent = it->second.spec.find("parent");
      if (parent == it->second.spec.end() || !parent->is_string()) break;
      current = parent->get<std::string>();
      ++d;
    }
    return d;
  }
};

namespace {

// How a request is answered: after `delayMs`, or it fails after the timeout when that is
// shorter. Sleeps outside the state's lock.
struct Answer {
  double delayMs = 0;
  float timeout = kDefaultTimeout;
  bool fail = false;

  // Waits as the request takes; false when the request timed out.
  bool wait() const {
    double limitMs = static_cast<double>(timeout) * 1000.0;
    if (delayMs > limitMs) {
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(limitMs));
      return false;
    }
    if (delayMs > 0) {
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(delayMs));
    }
    return true;
  }
};

}  // namespace

SimAccessibility::SimAccessibility(SimHost& host) : host_(host), state_(std::make_shared<State>()) {
  const auto& world = host.world();
  auto it = world.find("trusted");
  if (it != world.end() && it->is_boolean()) state_->trusted = it->get<bool>();
  it = world.find("ownPid");
  state_->ownPid = it != world.end() && it->is_number_integer()
                       ? it->get<std::int32_t>()
                       : static_cast<std::int32_t>(::getpid());
  it = world.find("windows");
  if (it != world.end()) state_->windows = it->is_null() ? std::nullopt : std::optional<json>(*it);
  it = world.find("displays");
  if (it != world.end()) state_->displays = displaysOf(*it);
  it = world.find("apps");
  if (it != world.end()) state_->putApps(*it);

  auto state = state_;
  host.onSet([state](const json& request) {
    std::lock_guard<std::mutex> guard(state->mutex);
    if (request.contains("trusted")) state->trusted = request["trusted"].get<bool>();
    if (request.contains("windows")) {
      const auto& w = request["windows"];
      state->windows = w.is_null() ? std::nullopt : std::optional<json>(w);
    }
    if (request.contains("displays")) state->displays = displaysOf(request["displays"]);
    if (request.contains("apps")) state->putApps(request["apps"]);
  });
  host.onRequest("ax_app", [state](const json& request) -> json {
    auto pid = request.at("pid").get<std::int32_t>();
    std::lock_guard<std::mutex> guard(state->mutex);
    state->putApp(pid, request.at("app"));
    return {{"ok", true}};
  });
  host.onRequest("ax_element", [state](const json& request) -> json {
    auto pid = request.at("pid").get<std::int32_t>();
    std::lock_guard<std::mutex> guard(state->mutex);
    if (!state->apps.count(pid)) return {{"ok", false}, {"error", "no_app"}};
    state->putElement(pid, request.at("element"));
    return {{"ok", true}};
  });
  host.onRequest("ax_remove_element", [state](const json& request) -> json {
    auto id = request.at("id").get<std::string>();
    std::lock_guard<std::mutex> guard(state->mutex);
    auto found = state->elements.find(id);
    if (found == state->elements.end()) return {{"ok", false}, {"error", "no_element"}};
    std::erase(state->order[found->second.pid], id);
    state->elements.erase(found);
    return {{"ok", true}};
  });
}

SimAccessibility::~SimAccessibility() = default;

std::string SimAccessibility::elementID(const ElementRef& element) {
  auto sim = std::dynamic_pointer_cast<const SimElement>(element);
  return sim ? sim->id : std::string();
}

bool SimAccessibility::isProcessTrusted() {
  bool trusted;
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    trusted = state_->trusted;
  }
  host_.trace({{"event", "ax_trusted"}, {"trusted", trusted}});
  return trusted;
}

ElementRef SimAccessibility::systemWide() {
  return handle("system");
}

ElementRef SimAccessibility::application(std::int32_t pid) {
  return handle(appID(pid));
}

void SimAccessibility::setMessagingTimeout(const ElementRef& element, float seconds) {
  std::string id = elementID(element);
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    if (id == "system") {
      state_->timeout = seconds;
      state_->elementTimeouts.clear();
    } else if (!id.empty()) {
      state_->elementTimeouts[id] = seconds;
    }
  }
  host_.trace({{"event", "ax_timeout"}, {"element", id}, {"seconds", seconds}});
}

std::optional<AccessibilityValue> SimAccessibility::copyAttributeValue(
    const ElementRef& element, const std::string& attribute) {
  std::string id = elementID(element);
  Answer answer;
  std::optional<AccessibilityValue> value;
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    answer.timeout = state_->timeoutFor(id);
    if (auto pid = pidOfAppID(id)) {
      auto app = state_->apps.find(*pid);
      if (app == state_->apps.end()) {
        answer.fail = true;
      } else {
        answer.delayMs = delayOf(app->second);
        answer.fail = flagOf(app->second, "fail");
        if (attribute == "AXRole") {
          value = std::string("AXApplication");
        } else if (auto raw = rawAttribute(app->second, attribute)) {
          value = valueOf(attribute, *raw);
        }
      }
    } else {
      auto found = state_->elements.find(id);
      if (found == state_->elements.end()) {
        answer.fail = true;
      } else {
        const json& spec = found->second.spec;
        auto owner = state_->apps.find(found->second.pid);
        const json& app = owner != state_->apps.end() ? owner->second : json::object();
        answer.delayMs = delayOf(spec) >= 0 ? delayOf(spec) : delayOf(app);
        answer.fail = flagOf(spec, "fail") || flagOf(app, "fail");
        if (auto raw = rawAttribute(spec, attribute)) value = valueOf(attribute, *raw);
      }
    }
  }
  bool inTime = answer.fail || answer.wait();
  bool ok = !answer.fail && inTime && value.has_value();
  json event = {{"event", "ax_attr"}, {"element", id}, {"attribute", attribute}, {"ok", ok}};
  if (!inTime) event["timeout"] = true;
  host_.trace(std::move(event));
  return ok ? value : std::nullopt;
}

ElementRef SimAccessibility::elementAtPosition(const ElementRef& systemWide, float x, float y) {
  Point p{x, y};
  Answer answer;
  std::optional<std::int32_t> pid;
  std::string hit;
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    answer.timeout = state_->timeoutFor(elementID(systemWide));
    if (elementID(systemWide) != "system" || !state_->windows || !state_->windows->is_array()) {
      answer.fail = true;
    } else {
      for (const auto& w : *state_->windows) {
        if (!w.is_object() || !w.contains("pid") || !w["pid"].is_number_integer()) continue;
        auto bounds = rectOf(w.value("bounds", json()));
        if (!bounds || !bounds->contains(p) || flagOf(w, "ignoresMouse")) continue;
        auto alpha = w.find("alpha");
        if (alpha != w.end() && alpha->is_number() && alpha->get<double>() <= 0.01) continue;
        pid = w["pid"].get<std::int32_t>();
        break;
      }
      auto app = pid ? state_->apps.find(*pid) : state_->apps.end();
      if (app == state_->apps.end()) {
        answer.fail = true;
      } else {
        answer.delayMs = delayOf(app->second);
        answer.fail = flagOf(app->second, "fail");
        int best = -1;
        for (const auto& id : state_->order[*pid]) {
          const auto& spec = state_->elements[id].spec;
          auto frame = frameOf(spec);
          if (!frame || !frame->contains(p)) continue;
          int d = state_->depth(id);
          if (d >= best) {
            best = d;
            hit = id;
          }
        }
        if (!hit.empty()) {
          const json& spec = state_->elements[hit].spec;
          if (flagOf(spec, "fail")) answer.fail = true;
          if (delayOf(spec) >= 0) answer.delayMs = delayOf(spec);
        }
      }
    }
  }
  bool inTime = answer.fail || answer.wait();
  bool ok = !answer.fail && inTime && !hit.empty();
  json event = {{"event", "ax_hit"},
                {"x", x},
                {"y", y},
                {"pid", pid ? json(*pid) : json()},
                {"element", ok ? json(hit) : json()},
                {"ok", ok}};
  if (!inTime) event["timeout"] = true;
  host_.trace(std::move(event));
  return ok ? handle(hit) : nullptr;
}

std::optional<std::int32_t> SimAccessibility::processID(const ElementRef& element) {
  std::string id = elementID(element);
  std::optional<std::int32_t> pid;
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    if (auto app = pidOfAppID(id)) {
      pid = app;
    } else {
      auto found = state_->elements.find(id);
      if (found != state_->elements.end() && !flagOf(found->second.spec, "fail")) {
        const json& spec = found->second.spec;
        auto own = spec.find("pid");
        pid = own != spec.end() && own->is_number_integer() ? own->get<std::int32_t>()
                                                            : found->second.pid;
      }
    }
  }
  host_.trace({{"event", "ax_pid"}, {"element", id}, {"ok", pid.has_value()}});
  return pid;
}

bool SimAccessibility::equal(const ElementRef& a, const ElementRef& b) {
  std::string ia = elementID(a);
  return !ia.empty() && ia == elementID(b);
}

std::optional<json> SimAccessibility::copyWindowInfo(std::uint32_t, std::uint32_t) {
  std::optional<json> info;
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    if (state_->windows) {
      if (state_->windows->is_array()) {
        info = json::array();
        for (const auto& entry : *state_->windows) info->push_back(windowDictionary(entry));
      } else {
        info = *state_->windows;
      }
    }
  }
  host_.trace({{"event", "window_list"},
               {"ok", info.has_value()},
               {"count", info && info->is_array() ? info->size() : 0}});
  return info;
}

std::optional<std::vector<std::uint32_t>> SimAccessibility::activeDisplayList(
    std::uint32_t maxDisplays) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (!state_->displays) return std::nullopt;
  std::vector<std::uint32_t> ids;
  for (std::uint32_t i = 0; i < state_->displays->size() && i < maxDisplays; ++i) {
    ids.push_back(i + 1);
  }
  return ids;
}

Rect SimAccessibility::displayBounds(std::uint32_t display) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (!state_->displays || display == 0 || display > state_->displays->size()) return {};
  return (*state_->displays)[display - 1];
}

std::optional<RunningApplications::Application> SimAccessibility::runningApplication(
    std::int32_t pid) {
  std::optional<Application> app;
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    auto found = state_->apps.find(pid);
    if (found != state_->apps.end()) {
      app.emplace();
      const json& spec = found->second;
      auto id = spec.find("bundleIdentifier");
      if (id != spec.end() && id->is_string()) app->bundleIdentifier = id->get<std::string>();
      auto location = spec.find("bundleLocation");
      if (location != spec.end() && location->is_string()) {
        app->bundleLocation = std::filesystem::path(location->get<std::string>());
      }
    }
  }
  host_.trace({{"event", "app_lookup"}, {"pid", pid}, {"found", app.has_value()}});
  return app;
}

std::int32_t SimAccessibility::ownProcessID() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->ownPid;
}

}  // namespace virelo::sim
