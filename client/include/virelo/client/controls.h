// Acting on controls by what they are (the library Virelo::controls, component Controls): finding
// the buttons, fields and menu items of the applications on an X desktop through its
// accessibility trees (AT-SPI 2), and clicking, focusing and waiting for them with the service's
// own input, so that the pointer really travels there and the application receives ordinary
// input events.
//
// The accessibility trees are read by the accessibility module that the service uses for its
// cursor snapping (virelo-linux-accessibility.so), opened at run time: this library links neither
// libatspi nor GLib.
//
//   virelo::client::Desktop desktop(environment);          // throws ControlsUnavailable
//   virelo::client::ControlQuery ok;
//   ok.role = "push button";
//   ok.name = virelo::client::NameMatch::exactly("OK");
//   virelo::client::clickOn(client, desktop, ok, {});      // throws NoSuchControl, ...
//
// Positions are the X server's pixels; the bounds of an application that scales its pixels
// (GDK_SCALE) are scaled the same way.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"
#include "virelo/client/session.h"
#include "virelo/client/x11.h"

namespace virelo {
class Controls;
}

namespace re2 {
class RE2;
}

namespace virelo::client {

class NameMatchWire;
class SessionSearch;
class ControlSearchServer;

// How a control's name is compared with a text: the whole name, a part of it, or a regular
// expression that must match the whole name. Expressions are RE2's (Perl-like: `(?i)` for case
// not to matter, `\d`, `[[:alpha:]]`, `{n,m}`; no back-references, no look-around), matched in
// time linear in the name's length, whatever names the applications choose.
class NameMatch {
 public:
  static NameMatch exactly(std::string text);
  static NameMatch containing(std::string text);
  // Throws MalformedExpression for an expression that RE2 does not take.
  static NameMatch matching(const std::string& expression);

  bool operator()(std::string_view name) const;
  // How the match reads in a message: "named \"OK\"", "with a name containing \"O\"", ...
  std::string describe() const;
  // The same for a control's text: "showing \"done\"", "showing a text containing \"do\"", ...
  std::string describeText() const;

 private:
  enum class Kind { exact, containing, regex };
  NameMatch(Kind kind, std::string text);
  // Carries a match to the session's search and back (search_wire.h).
  friend class NameMatchWire;
  Kind kind_;
  std::string text_;
  std::shared_ptr<const re2::RE2> regex_;
};

// Which controls: each part left empty accepts everything.
struct ControlQuery {
  // A role name of AT-SPI ("push button", "text", "menu item", "check box"), as accessibility
  // tools show them; case and "_" or "-" for spaces do not matter.
  std::optional<std::string> role;
  std::optional<NameMatch> name;
  // The application's name in the accessibility tree, or its program's name.
  std::optional<std::string> application;
  // Also the controls that are not visible, are covered by another window or lie off the screen.
  bool all = false;
  // Only controls whose text can be edited (text fields).
  bool editable = false;
  // Only controls that an enclosing accessible (a panel, a group, a frame, their window) whose
  // name matches holds.
  std::optional<NameMatch> container;
  // Only controls whose whole text (Control::text) matches.
  std::optional<NameMatch> text;
  // Only the control at this place, counted from 1, in the order of the search's result (windows
  // front to back, and in each window reading order: see readingOrder()).
  std::optional<std::size_t> nth;

  // How the query reads in a message: "a push button named \"OK\" of gedit".
  std::string describe() const;
};

// What a control that shows a quantity (a slider, a spin button, a progress bar) says of it.
struct ControlValue {
  double current = 0;
  double minimum = 0;
  double maximum = 0;
};

struct Control {
  std::string role;
  std::string name;
  std::string application;
  int pid = 0;
  // The bounds, in the X server's pixels (a Wayland compositor's logical points); inside its
  // window where it is not `placed`.
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool enabled = false;
  // Showing, of some size, with its centre on its window.
  bool visible = false;
  bool focused = false;
  bool focusable = false;
  bool editable = false;
  // Its centre lies under another window.
  bool covered = false;
  // Its centre lies on no monitor of the X server: its window reaches beyond the screen's edge.
  bool offScreen = false;
  // Its window's place in the stacking order, 0 for the front one; -1 when unknown.
  int stacking = -1;
  // Whether its bounds are on the screen. Under a Wayland compositor (Desktop::onCompositor())
  // they are only where the compositor's windows tell for certain where its window is; elsewhere
  // they are inside its window, and it cannot be acted on with the pointer.
  bool placed = true;
  // Its whole text, where it has one (AT-SPI's Text: entries, labels, text views, spin buttons).
  std::optional<std::string> text;
  // Its value, where it has one (AT-SPI's Value).
  std::optional<ControlValue> value;
  // Names it to the desktop that found it, for actOn(), until that desktop's next search.
  std::uint64_t handle = 0;

  PointerPosition centre() const { return {x + width / 2, y + height / 2}; }
  // One line for people: role, name, application, bounds and the states that matter.
  std::string describe() const;
};

struct FoundControls {
  std::vector<Control> controls;
  // Applications that did not answer within the timeout and were skipped, by name.
  std::vector<std::string> unanswering;
};

// How long a request to one application may take before it counts as not answering.
inline constexpr std::chrono::milliseconds kControlsTimeout{2000};

// The controls of the desktop that the environment names ($DISPLAY, and the accessibility module
// in $VIRELO_ACCESSIBILITY_MODULE). The session bus and the accessibility bus are this process's
// own, whatever the lookup says: libdbus reads $DBUS_SESSION_BUS_ADDRESS from the process's
// environment, once in the process's life (and not at all while its real and effective users
// differ), and libatspi reaches the accessibility bus through that session bus.
//
// Where the user's session (session.h) answers control searches, on the same display and session
// bus, the searches are its: it keeps the accessibility bus and the trees at hand, which a process
// of its own would have to reach first. The session's socket is used only when it passes the
// checks of the session's files (its owner, its mode, and the user its listener runs as); when
// it fails one, or the session does not answer in time, the search is this process's own, and
// so are the searches after it. The result is the same either way. The session also presses a
// control by its action for actOn() (one request: the search and the press); act() and the role
// names are always this process's own.
class Desktop {
 public:
  // In a Wayland session the controls are placed on the screen by the compositor's windows, for
  // the session's host (serviceHost(), session.h) "kde" (KWin's windows) and "gnome"
  // (gnome-shell's window actors); a Wayland session with another host is refused.
  // Throws ControlsUnavailable, saying what is missing: no X server ($DISPLAY unset or nothing
  // answering), a Wayland session of another host, the accessibility bus switched off (with the
  // command that switches it on), no session or accessibility bus, or no accessibility module
  // installed. With the session's searches the accessibility module is opened only when this
  // process first needs it, and those errors are thrown then. The session is asked only with the
  // default timeout, its own.
  explicit Desktop(const EnvironmentLookup& environment,
                   std::chrono::milliseconds timeout = kControlsTimeout);
  ~Desktop();
  Desktop(Desktop&&) noexcept;
  Desktop& operator=(Desktop&&) noexcept;

  // The controls that match, in reading order (readingOrder()). Unless the query asks for all, only
  // those that are visible, not covered and on the screen. Throws UnknownRole for a role name that
  // AT-SPI does not know, and ControlsUnavailable where the compositor tells no window's place
  // (gnome-shell absent: plain mutter; KWin not answering).
  FoundControls find(const ControlQuery& query);
  // The controls that match and are showing, visible, uncovered and on the screen or not (all of
  // them when the query asks for all), for those who decide themselves what to do with the
  // others.
  FoundControls showing(const ControlQuery& query);
  // Every role name AT-SPI knows.
  std::vector<std::string> roleNames();
  // Has the control of its latest search do its action named `action` (its first when nullopt),
  // through AT-SPI's Action: no pointer, no keyboard. Returns the action's name. Throws
  // ControlNotActionable when the control is not of its latest search, has no such action or
  // refuses it.
  std::string act(const Control& control, const std::optional<std::string>& action);
  // The X display it reads, or the Wayland desktop ("kde:", "gnome:").
  const std::string& display() const { return display_; }
  // Whether a Wayland compositor places its controls (then moveTo() of x11.h cannot place the
  // pointer: clickOn() moves it from a point of the desk's top edge).
  bool onCompositor() const { return !unplaced_.empty(); }
  // Why a control that is not `placed` could not be placed (empty on X11).
  const std::string& unplacedReason() const { return unplaced_; }
  // Whether its searches are the session's (until one fails).
  bool searchesInSession() const { return session_ != nullptr; }
  // Makes its searches from here on this process's own, as acting on what they find needs.
  void searchInProcess();

 private:
  friend class ControlSearchServer;
  // actOn()'s press through the session (acting.cpp).
  friend struct Acting;
  // The session's search server reads the desktop itself, never through a session.
  Desktop(const EnvironmentLookup& environment, std::chrono::milliseconds timeout, bool askSession);
  // The controls that match and are showing, in reading order, before `nth` is applied.
  FoundControls search(const ControlQuery& query);
  FoundControls searchHere(const ControlQuery& query);
  Controls& here();

  std::string display_;
  std::string unplaced_;
  std::chrono::milliseconds timeout_;
  // $VIRELO_ACCESSIBILITY_MODULE when the desktop was made, for opening the module later.
  std::optional<std::string> module_;
  std::shared_ptr<Controls> controls_;
  std::shared_ptr<SessionSearch> session_;
  // The query of the latest search when the session answered it: act() finds its control here.
  std::optional<ControlQuery> sessionQuery_;
};

// Puts controls in reading order, window by window: the controls of the front-most window first
// (Control::stacking; those of no known window last), and within a window top to bottom, then
// left to right. Controls are in one row when their vertical centres lie within half the height
// of the row's top-most control (the one whose centre is highest) of that control's centre, so
// that controls of one line that differ by a few pixels in height or alignment stay in one row;
// the rows are ordered by their top-most control's centre, and each row by its controls' left
// edges. Controls in the same place keep their order.
void readingOrder(std::vector<Control>& controls);

// The one control that the query names, whatever its state: NoSuchControl when none matches
// (naming the applications that did not answer); AmbiguousControl when several do, unless `first`
// takes the first in reading order (readingOrder()).
Control oneControl(Desktop& desktop, const ControlQuery& query, bool first);

// The one control that the query names and that can be acted on with the pointer, for clickOn()
// and focusOn(). Throws as oneControl(), and ControlNotActionable when it is disabled, not
// visible, off the screen, covered, or not placed on the screen (naming why).
Control chooseControl(Desktop& desktop, const ControlQuery& query, bool first);

// How clickOn() presses a control: with the pointer, through the service, as a person does; or
// with the control's own action (AT-SPI's Action, as assistive technologies do it), which needs
// no pointer and presses a covered control or one off the screen too. Never one for the other.
enum class ClickBy { pointer, action };

struct ClickOptions {
  // A button bit of client.h (button::primary, ...); for ClickBy::pointer.
  int button = 1;
  bool twice = false;
  bool first = false;
  ClickBy by = ClickBy::pointer;
  // For ClickBy::action: the action's name ("click", "press", "activate", "toggle"); the
  // control's first action when nullopt.
  std::optional<std::string> action;
};

// What clickOn() pressed, and how.
struct Clicked {
  Control control;
  ClickBy by = ClickBy::pointer;
  // The name of the action done (ClickBy::action); empty for the pointer.
  std::string action;
};

// Has the control that the query names do its action (ClickBy::action of ClickOptions), with no
// pointer or service. Throws as oneControl(), and ControlNotActionable when the control is
// disabled, has no such action or refuses it.
Clicked actOn(Desktop& desktop, const ControlQuery& query, bool first,
              const std::optional<std::string>& action);

// With ClickBy::pointer, places the pointer on the centre of the control that the query names,
// exactly, with the service's moves (moveTo; under a Wayland compositor, which tells no client
// where the pointer is, relative moves from the desk's top edge, 64 points from its left one, onto
// which it first moves the pointer by way of the left edge, never into the top-left corner,
// where gnome-shell's hot corner would open the overview: exact on a desk of one monitor), and
// clicks it (twice for a double click);
// throws as chooseControl(), and as moveTo(). With ClickBy::action, actOn() (`twice` does it
// twice).
Clicked clickOn(Client& client, Desktop& desktop, const ControlQuery& query,
                const ClickOptions& options);

// The whole text of the control that the query names (Control::text). Throws as oneControl(), and
// NoSuchControl when that control has no text.
std::string readText(Desktop& desktop, const ControlQuery& query, bool first);

// Gives the control the keyboard focus by clicking it with the primary button, and waits until
// it has it. Throws as clickOn(), and ControlNotActionable when it does not take the focus within
// `timeout`.
Control focusOn(Client& client, Desktop& desktop, const ControlQuery& query, bool first,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

// To type into a field: focusOn() it, then typeText() (layouts.h) or typeTextBorrowing() (x11.h).

// Waits until a control matches the query (to wait until a control shows a text, give the query a
// `text`) (or, with `gone`, until none does and every application
// answered: one that does not answer may still show it), looking again every `interval`. Returns
// the first match (nullopt with `gone`). Throws WaitTimedOut after `timeout`, naming the
// applications that did not answer. `interrupted`, called after each look and at least every
// 20 ms while it waits, may throw to end the wait; the exception passes through as it is.
std::optional<Control> waitFor(Desktop& desktop, const ControlQuery& query, bool gone,
                               std::chrono::milliseconds timeout,
                               std::chrono::milliseconds interval = std::chrono::milliseconds(100),
                               const std::function<void()>& interrupted = {});

// A text that an application chose (the name of a control or of an application) as this part's
// messages show it: `"`, `\` and the control characters (C0 below U+0020, DEL, and C1 from U+0080
// to U+009F, which terminals read as escapes too) escaped as JSON escapes them (\n, \t, \u001b,
// \u009b, ...), and bytes that are not UTF-8 replaced with U+FFFD, without quotes: valid JSON
// string contents, so that none breaks a message into lines of its own or reaches a terminal as a
// control sequence.
std::string escapedText(std::string_view text);

}  // namespace virelo::client
