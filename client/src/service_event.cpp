#include <nlohmann/json.hpp>

#include "virelo/client/errors.h"
#include "virelo/client/launcher.h"

namespace virelo::client {

ServiceEvent parseServiceEvent(const std::string& line) {
  auto object = nlohmann::json::parse(line, nullptr, false);
  if (!object.is_object() || !object.contains("type") || !object["type"].is_string()) {
    throw LaunchFailed("unexpected line from the service: " + line);
  }
  auto flag = [&](const char* key) -> std::optional<bool> {
    auto it = object.find(key);
    if (it == object.end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
  };
  ServiceEvent event;
  event.type = object["type"].get<std::string>();
  event.ready = flag("ready").value_or(false);
  event.ok = flag("ok");
  event.backend = object.value("backend", std::string());
  if (object.contains("error") && object["error"].is_string()) {
    event.error = object["error"].get<std::string>();
  }
  event.held = flag("held");
  event.bridgeReady = flag("bridgeReady");
  event.line = line;
  return event;
}

}  // namespace virelo::client
