#include "session_search.h"

#include <cstdlib>

#include "search_wire.h"

namespace virelo::client {

std::unique_ptr<SessionSearch> SessionSearch::connect(const EnvironmentLookup& environment,
                                                      const std::string& display) {
  try {
    const std::string directory = sessionDirectory(environment);
    const auto info = readSession(directory);
    if (!info || info->controls.empty()) return nullptr;
    return std::unique_ptr<SessionSearch>(
        new SessionSearch(trust::connectOwnSocket(directory, info->controls), display));
  } catch (const std::exception&) {
    // Whatever keeps the session's searches out of reach leaves the search to this process.
    return nullptr;
  }
}

std::optional<FoundControls> SessionSearch::search(const ControlQuery& query) {
  ControlQuery asked = query;
  asked.nth.reset();
  SearchRequest request{display_, "", std::move(asked)};
  // What libdbus, and so libatspi, of this process would reach.
  if (const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS")) request.bus = bus;
  ReplyReader reply;
  try {
    const auto start = LineSocket::Clock::now();
    if (!socket_.write(requestLine(request), start + kTakeUp)) return std::nullopt;
    for (bool complete = false; !complete;) {
      const auto deadline = reply.searching() ? start + kLongest : start + kTakeUp;
      auto line = socket_.readLine(deadline);
      if (!line) return std::nullopt;
      complete = reply.take(*line);
    }
  } catch (const MalformedLine&) {
    return std::nullopt;
  }
  if (!reply.refused()) return std::move(reply.found());
  if (reply.refused()->refusal == SearchRefusal::unknownRole) {
    throw UnknownRole(reply.refused()->message);
  }
  return std::nullopt;
}

}  // namespace virelo::client
