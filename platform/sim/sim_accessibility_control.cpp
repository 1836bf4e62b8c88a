// The accessibility's world keys and control requests.
#include <unistd.h>

#include "platform/sim/sim_accessibility_state.h"

namespace virelo::sim {

using ax::json;

void SimAccessibility::State::loadWorld(const json& world) {
  auto it = world.find("trusted");
  if (it != world.end() && it->is_boolean()) trusted = it->get<bool>();
  it = world.find("ownPid");
  ownPid = it != world.end() && it->is_number_integer() ? it->get<std::int32_t>()
                                                        : static_cast<std::int32_t>(::getpid());
  it = world.find("windows");
  if (it != world.end()) windows = it->is_null() ? std::nullopt : std::optional<json>(*it);
  it = world.find("displays");
  if (it != world.end()) displays = ax::displaysOf(*it);
  it = world.find("apps");
  if (it != world.end()) putApps(*it);
}

void SimAccessibility::State::applySet(const json& request) {
  std::lock_guard<std::mutex> guard(mutex);
  if (request.contains("trusted")) trusted = request["trusted"].get<bool>();
  if (request.contains("windows")) {
    const auto& w = request["windows"];
    windows = w.is_null() ? std::nullopt : std::optional<json>(w);
  }
  if (request.contains("displays")) displays = ax::displaysOf(request["displays"]);
  if (request.contains("apps")) putApps(request["apps"]);
}

void serveAccessibilityControl(SimHost& host,
                               const std::shared_ptr<SimAccessibility::State>& state) {
  host.onSet([state](const json& request) { state->applySet(request); });
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

}  // namespace virelo::sim
