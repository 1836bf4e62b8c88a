#include "platform/sim/sim_accessibility.h"

#include <filesystem>

#include "platform/sim/sim_accessibility_state.h"

namespace virelo::sim {

using namespace ax;

SimAccessibility::SimAccessibility(SimHost& host) : host_(host), state_(std::make_shared<State>()) {
  state_->loadWorld(host.world());
  serveAccessibilityControl(host, state_);
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
        const json& description = found->second.description;
        auto owner = state_->apps.find(found->second.pid);
        const json& app = owner != state_->apps.end() ? owner->second : json::object();
        answer.delayMs = delayOf(description) >= 0 ? delayOf(description) : delayOf(app);
        answer.fail = flagOf(description, "fail") || flagOf(app, "fail");
        if (auto raw = rawAttribute(description, attribute)) value = valueOf(attribute, *raw);
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
      pid = state_->windowOwnerAt(p);
      auto app = pid ? state_->apps.find(*pid) : state_->apps.end();
      if (app == state_->apps.end()) {
        answer.fail = true;
      } else {
        answer.delayMs = delayOf(app->second);
        answer.fail = flagOf(app->second, "fail");
        hit = state_->elementAt(*pid, p);
        if (!hit.empty()) {
          const json& description = state_->elements[hit].description;
          if (flagOf(description, "fail")) answer.fail = true;
          if (delayOf(description) >= 0) answer.delayMs = delayOf(description);
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
      if (found != state_->elements.end() && !flagOf(found->second.description, "fail")) {
        const json& description = found->second.description;
        auto own = description.find("pid");
        pid = own != description.end() && own->is_number_integer() ? own->get<std::int32_t>()
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
      const json& description = found->second;
      auto id = description.find("bundleIdentifier");
      if (id != description.end() && id->is_string())
        app->bundleIdentifier = id->get<std::string>();
      auto location = description.find("bundleLocation");
      if (location != description.end() && location->is_string()) {
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
