#include "session_search.h"

#include <cstdlib>

#include "search_wire.h"

namespace virelo::client {
namespace {

// A refusal for any reason but the role leaves the search to the client.
bool answered(const ReplyReader& reply) {
  if (!reply.refused()) return true;
  if (reply.refused()->refusal == SearchRefusal::unknownRole) {
    throw UnknownRole(reply.refused()->message);
  }
  return false;
}

}  // namespace

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

std::optional<ReplyReader> SessionSearch::ask(SearchRequest request) {
  request.display = display_;
  // What libdbus, and so libatspi, of this process would reach.
  if (const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS")) request.bus = bus;
  ReplyReader reply;
  try {
    const auto start = LineSocket::Clock::now();
    if (!socket_.write(requestLine(request), start + kTakeUp)) return std::nullopt;
    for (;;) {
      const auto deadline = reply.searching() ? start + kLongest : start + kTakeUp;
      auto line = socket_.readLine(deadline);
      if (!line) break;
      if (reply.take(*line)) return reply;
    }
  } catch (const MalformedLine&) {
  }
  if (reply.searching()) throw TakenUp{};
  return std::nullopt;
}

std::optional<FoundControls> SessionSearch::search(const ControlQuery& query) {
  SearchRequest request;
  request.query = query;
  request.query.nth.reset();
  try {
    auto reply = ask(std::move(request));
    if (!reply || !answered(*reply)) return std::nullopt;
    return std::move(reply->found());
  } catch (const TakenUp&) {
    return std::nullopt;
  }
}

std::optional<SessionSearch::Press> SessionSearch::press(const ControlQuery& query, bool first,
                                                         const std::optional<std::string>& action,
                                                         int times) {
  SearchRequest request;
  request.query = query;
  request.query.nth.reset();
  request.press = PressRequest{query.nth, first, action, times};
  try {
    auto reply = ask(std::move(request));
    if (!reply || !answered(*reply)) return std::nullopt;
    return Press{std::move(reply->found()), reply->pressed(), reply->unpressed()};
  } catch (const TakenUp&) {
    throw ControlNotActionable(
        "the session took up the press of " + query.describe() +
        " but did not answer in time: the control may or may not have been pressed");
  }
}

}  // namespace virelo::client
