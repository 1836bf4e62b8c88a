// The client's side of the session's control searches (control_server.h): the connection to the
// socket that the session's file names, made only when every check of trust.h passes, and the
// searches asked over it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "line_socket.h"
#include "search_wire.h"
#include "virelo/client/controls.h"

namespace virelo::client {

class SessionSearch {
 public:
  // How long the session may take to take up a request; a session busy longer, or hung, is not
  // waited for.
  static constexpr std::chrono::milliseconds kTakeUp{250};
  // How long a search there may take, at most: its applications each have kControlsTimeout.
  static constexpr std::chrono::milliseconds kLongest{4 * kControlsTimeout};

  // The connection to the running session's search server, for searches on `display`; nullptr
  // when no session runs, it answers no searches, or anything fails a check or cannot be reached.
  static std::unique_ptr<SessionSearch> connect(const EnvironmentLookup& environment,
                                                const std::string& display);

  // The controls that match, as Desktop::showing() finds them before a place (nth) is taken;
  // nullopt when the session did not answer or refused the search for any reason but the role, and
  // the connection is then of no more use. Throws UnknownRole for a role AT-SPI does not know.
  std::optional<FoundControls> search(const ControlQuery& query);

  // What the session did with a press (search_wire.h): the controls at the query's place, and
  // the action's name when it pressed one, or why it could not.
  struct Press {
    FoundControls found;
    std::optional<std::string> pressed;
    std::optional<std::string> unpressed;
  };
  // Has the session press the one control at the query's place (the first of several with
  // `first`) by its action, `times` times. nullopt when it did not take the request up, or
  // refused it for any reason but the role: then it pressed nothing, and the connection is of no
  // more use. Throws UnknownRole as search() does, and ControlNotActionable when the session
  // took the press up but its answer did not come whole (the control may have been pressed).
  std::optional<Press> press(const ControlQuery& query, bool first,
                             const std::optional<std::string>& action, int times);

 private:
  // Sends the request and reads the reply; nullopt when the session did not take it up.
  // Throws TakenUp when it did, but the reply did not come whole.
  struct TakenUp {};
  std::optional<ReplyReader> ask(SearchRequest request);

  SessionSearch(trust::Descriptor fd, std::string display)
      : socket_(std::move(fd)), display_(std::move(display)) {}

  LineSocket socket_;
  std::string display_;
};

}  // namespace virelo::client
