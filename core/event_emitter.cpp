#include "core/event_emitter.h"

#include <unistd.h>

#include <cerrno>

namespace virelo {

std::string eventLine(const nlohmann::json& event) {
  // nlohmann's objects keep their keys ordered, so a plain dump is the sorted form.
  std::string line = event.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  line.push_back('\n');
  return line;
}

void FdEventEmitter::emit(const nlohmann::json& event) {
  std::string line;
  try {
    line = eventLine(event);
  } catch (const nlohmann::json::exception&) {
    return;
  }
  ssize_t n;
  do {
    n = ::write(fd_, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
}

nlohmann::json failureEvent(InputBackend backend, const char* code) {
  return {{protocol::replies::type, protocol::events::status},
          {protocol::replies::ready, false},
          {protocol::replies::backend, rawValue(backend)},
          {protocol::replies::error, code}};
}

}  // namespace virelo
