// The window server's world keys and control requests.
#include <stdexcept>

#include "platform/sim/sim_window_state.h"

namespace virelo::sim {
namespace {

nlohmann::json placeCursor(SimWindowServer::State& state, const nlohmann::json& request) {
  Point p{request.at("x").get<double>(), request.at("y").get<double>()};
  std::lock_guard<std::mutex> guard(state.mutex);
  state.cursor = p;
  return {{"ok", true}};
}

nlohmann::json answerState(SimWindowServer::State& state) {
  std::lock_guard<std::mutex> guard(state.mutex);
  return state.snapshotLocked();
}

// A hardware event: passes the taps, then acts on the session; answers it as it left the taps.
nlohmann::json injectHardware(SimWindowServer::State& state, const nlohmann::json& request) {
  Point cursor;
  {
    std::lock_guard<std::mutex> guard(state.mutex);
    cursor = state.cursor;
  }
  Event event = SimWindowServer::eventFromJson(request, cursor);
  event = state.passTaps(std::move(event));
  nlohmann::json json = SimWindowServer::eventToJson(event);
  {
    std::lock_guard<std::mutex> guard(state.mutex);
    state.applyLocked(event, EventSource::hardware);
  }
  nlohmann::json line = json;
  line["event"] = "hardware";
  state.host.trace(std::move(line));
  return {{"ok", true}, {"result", json}};
}

// Disables every installed tap as the system does, and answers after their callbacks returned.
nlohmann::json disableTaps(SimWindowServer::State& state, const nlohmann::json& request) {
  const auto& reason = request.at("reason").get_ref<const std::string&>();
  std::uint32_t type;
  if (reason == "timeout") {
    type = kEventTapDisabledByTimeout;
  } else if (reason == "user_input") {
    type = kEventTapDisabledByUserInput;
  } else {
    throw std::invalid_argument("reason");
  }
  std::vector<std::shared_ptr<SimTap>> installed;
  {
    std::lock_guard<std::mutex> guard(state.mutex);
    for (const auto& tap : state.taps) {
      if (!tap->installedLocked()) continue;
      tap->disableLocked();
      installed.push_back(tap);
    }
    state.host.trace({{"event", "tap_disabled"}, {"reason", reason}});
    state.changed.notify_all();
  }
  for (const auto& tap : installed) state.deliver(tap, type, Event{}, true);
  return {{"ok", true}, {"taps", installed.size()}};
}

}  // namespace

void SimWindowServer::State::loadWorld(const nlohmann::json& world) {
  displays = std::vector<Rect>{makeRect(0, 0, 1920, 1080)};
  try {
    if (world.contains("displays")) displays = parseDisplays(world["displays"]);
  } catch (const std::exception&) {
    host.trace({{"event", "world_error"}, {"key", "displays"}});
  }
  cursor = (displays && !displays->empty()) ? displays->front().center() : Point{};
  try {
    if (world.contains("cursor")) cursor = parsePoint(world["cursor"]);
  } catch (const std::exception&) {
    host.trace({{"event", "world_error"}, {"key", "cursor"}});
  }
  auto boolean = [&](const char* key, bool fallback) {
    auto it = world.find(key);
    return (it != world.end() && it->is_boolean()) ? it->get<bool>() : fallback;
  };
  postAccess = boolean("postEventAccess", true);
  listenAccess = boolean("listenEventAccess", true);
  capsLock = boolean("capsLock", false);
  keyRepeatDelay = worldSeconds(world.value("keyRepeatDelay", nlohmann::json()), 0.25);
  keyRepeatInterval = worldSeconds(world.value("keyRepeatInterval", nlohmann::json()), 0.03);
  doubleClickInterval = worldSeconds(world.value("doubleClickInterval", nlohmann::json()), 0.5);
  auto scale = world.find("deskScale");
  if (scale != world.end() && scale->is_number() && scale->get<double>() > 0) {
    deskScale = scale->get<double>();
  }
}

void serveWindowControl(const std::shared_ptr<SimWindowServer::State>& state) {
  SimHost& host = state->host;
  host.onSet([state](const nlohmann::json& request) { state->applySet(request); });
  host.onRequest("cursor",
                 [state](const nlohmann::json& request) { return placeCursor(*state, request); });
  host.onRequest("state", [state](const nlohmann::json&) { return answerState(*state); });
  host.onRequest("hardware", [state](const nlohmann::json& request) {
    return injectHardware(*state, request);
  });
  host.onRequest("disable_tap",
                 [state](const nlohmann::json& request) { return disableTaps(*state, request); });
}

nlohmann::json SimWindowServer::State::snapshotLocked() const {
  bool installed = false;
  bool enabled = false;
  for (const auto& tap : taps) {
    if (!tap->installedLocked()) continue;
    installed = true;
    enabled = enabled || tap->enabledLocked();
  }
  return {{"ok", true},
          {"cursor", {cursor.x, cursor.y}},
          {"capsLock", capsLock},
          {"postEventAccess", postAccess},
          {"listenEventAccess", listenAccess},
          {"tapInstalled", installed},
          {"tapEnabled", enabled}};
}

void SimWindowServer::State::applySet(const nlohmann::json& request) {
  // Parsed first, so that a malformed request changes nothing.
  std::optional<bool> post, listen, caps;
  std::optional<std::optional<std::vector<Rect>>> newDisplays;
  std::optional<Point> newCursor;
  std::optional<double> delay, interval, doubleClick;
  if (request.contains("postEventAccess")) post = request["postEventAccess"].get<bool>();
  if (request.contains("listenEventAccess")) listen = request["listenEventAccess"].get<bool>();
  if (request.contains("capsLock")) caps = request["capsLock"].get<bool>();
  if (request.contains("displays")) newDisplays = parseDisplays(request["displays"]);
  if (request.contains("cursor")) newCursor = parsePoint(request["cursor"]);
  if (request.contains("keyRepeatDelay")) {
    delay = worldSeconds(request["keyRepeatDelay"], keyRepeatDelay);
  }
  if (request.contains("keyRepeatInterval")) {
    interval = worldSeconds(request["keyRepeatInterval"], keyRepeatInterval);
  }
  if (request.contains("doubleClickInterval")) {
    doubleClick = worldSeconds(request["doubleClickInterval"], doubleClickInterval);
  }
  std::lock_guard<std::mutex> guard(mutex);
  if (post) postAccess = *post;
  if (listen) listenAccess = *listen;
  if (caps) capsLock = *caps;
  if (newDisplays) displays = std::move(*newDisplays);
  if (newCursor) cursor = *newCursor;
  if (delay) keyRepeatDelay = *delay;
  if (interval) keyRepeatInterval = *interval;
  if (doubleClick) doubleClickInterval = *doubleClick;
  changed.notify_all();
}

}  // namespace virelo::sim
