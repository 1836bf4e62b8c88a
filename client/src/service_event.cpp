#include <nlohmann/json.hpp>

#include "virelo/client/errors.h"
#include "virelo/client/launcher.h"
#include "virelo/protocol/names.h"

namespace virelo::client {

namespace replies = protocol::replies;

ServiceEvent parseServiceEvent(const std::string& line) {
  auto object = nlohmann::json::parse(line, nullptr, false);
  if (!object.is_object() || !object.contains(replies::type) ||
      !object[replies::type].is_string()) {
    throw LaunchFailed("unexpected line from the service: " + line);
  }
  auto flag = [&](const char* key) -> std::optional<bool> {
    auto it = object.find(key);
    if (it == object.end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
  };
  ServiceEvent event;
  event.type = object[replies::type].get<std::string>();
  event.ready = flag(replies::ready).value_or(false);
  event.ok = flag(replies::ok);
  event.backend = object.value(replies::backend, std::string());
  if (object.contains(replies::error) && object[replies::error].is_string()) {
    event.error = object[replies::error].get<std::string>();
  }
  event.held = flag(replies::held);
  event.bridgeReady = flag(replies::bridgeReady);
  event.line = line;
  return event;
}

}  // namespace virelo::client
