// The lines between a client and the session's control search server (control_server.h): one
// request line, the query of Desktop::showing() with the desktop it is meant for, answered by
// lines of JSON:
//   {"display":":1","bus":"unix:path=...","query":{"role":"push button",
//    "name":{"match":"exactly","text":"OK"},"application":"gedit","all":false,"editable":false,
//    "container":{...},"text":{...}}}        (role ... text: only those the query has)
// and then
//   {"searching":true}                      at once, before the search
//   {"control":{...}}                       one for each control, in reading order: the fields of
//                                           `virelo find --json` and "stacking"
//   {"done":true,"unanswering":[...]}       the end
// or, in place of the controls and the end, {"error":"unknown_role" | "unavailable" |
// "other_desktop" | "malformed","message":"..."}. A query's place (nth) is not sent: the client
// applies it, as it applies the visibility of Desktop::find().
//
// A request to press a control by its action adds
//   "press":{"nth":2,"first":false,"action":"click","times":1}   (nth and action: when chosen)
// and the session then takes the place itself: the controls of the reply are those at that place
// (all of them where there is none). Where exactly one is left (or the first of several, with
// "first") and it is enabled, the session has it do its action `times` times, and says before the
// end either {"pressed":"click"} (the action's name) or {"unpressed":"..."} (why not). A session
// that says neither pressed nothing.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "virelo/client/controls.h"

namespace virelo::client {

// A line that is not what the exchange allows; what() says what is wrong.
class MalformedLine : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// What the session presses: the one control at the query's place.
struct PressRequest {
  std::optional<std::size_t> nth;
  bool first = false;
  std::optional<std::string> action;  // the control's first action when unset
  int times = 1;
};

struct SearchRequest {
  std::string display;
  std::string bus;  // the client's $DBUS_SESSION_BUS_ADDRESS, empty when unset
  ControlQuery query;
  std::optional<PressRequest> press;
};

enum class SearchRefusal { unknownRole, unavailable, otherDesktop, malformed };

// The line with its newline. Throws MalformedLine for a name that is not UTF-8.
std::string requestLine(const SearchRequest& request);
// Throws MalformedLine, and MalformedExpression for a regular expression RE2 does not take.
SearchRequest parseRequest(std::string_view line);

std::string searchingLine();
std::string controlLine(const Control& control);
std::string doneLine(const std::vector<std::string>& unanswering);
std::string refusalLine(SearchRefusal refusal, const std::string& message);
std::string pressedLine(const std::string& action);
std::string unpressedLine(const std::string& message);

// A reply, line by line.
class ReplyReader {
 public:
  struct Refused {
    SearchRefusal refusal;
    std::string message;
  };
  // Takes the next line; true once the reply is complete (done or refused). Throws MalformedLine.
  bool take(std::string_view line);
  bool searching() const { return searching_; }
  // Once complete: the refusal, if it was one.
  const std::optional<Refused>& refused() const { return refused_; }
  FoundControls& found() { return found_; }
  // For a press: the name of the action done, or why the control was not pressed.
  const std::optional<std::string>& pressed() const { return pressed_; }
  const std::optional<std::string>& unpressed() const { return unpressed_; }

 private:
  bool searching_ = false;
  std::optional<Refused> refused_;
  std::optional<std::string> pressed_;
  std::optional<std::string> unpressed_;
  FoundControls found_;
};

}  // namespace virelo::client
