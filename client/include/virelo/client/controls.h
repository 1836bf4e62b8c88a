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

 private:
  enum class Kind { exact, containing, regex };
  NameMatch(Kind kind, std::string text);
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

  // How the query reads in a message: "a push button named \"OK\" of gedit".
  std::string describe() const;
};

struct Control {
  std::string role;
  std::string name;
  std::string application;
  int pid = 0;
  // The bounds, in the X server's pixels.
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
class Desktop {
 public:
  // Throws ControlsUnavailable, saying what is missing: no X server ($DISPLAY unset, nothing
  // answering, or a Wayland session), the accessibility bus switched off (with the command that
  // switches it on), no session or accessibility bus, or no accessibility module installed.
  explicit Desktop(const EnvironmentLookup& environment,
                   std::chrono::milliseconds timeout = kControlsTimeout);
  ~Desktop();
  Desktop(Desktop&&) noexcept;
  Desktop& operator=(Desktop&&) noexcept;

  // The controls that match, in the order of the applications and their trees. Unless the query
  // asks for all, only those that are visible, not covered and on the screen. Throws UnknownRole
  // for a role name that AT-SPI does not know.
  FoundControls find(const ControlQuery& query);
  // The controls that match and are showing, visible, uncovered and on the screen or not (all of
  // them when the query asks for all), for those who decide themselves what to do with the
  // others.
  FoundControls showing(const ControlQuery& query);
  // Every role name AT-SPI knows.
  std::vector<std::string> roleNames();
  // The X display it reads.
  const std::string& display() const { return display_; }

 private:
  std::string display_;
  std::shared_ptr<Controls> controls_;
};

// The one control that the query names and that can be acted on, for clickOn() and focusOn().
// Throws NoSuchControl when none matches (naming the applications that did not answer);
// AmbiguousControl when several do, unless `first` takes the front-most (the one whose window is
// in front, the first in its tree among those of one window); ControlNotActionable when it is
// disabled, not visible, off the screen or covered.
Control chooseControl(Desktop& desktop, const ControlQuery& query, bool first);

struct ClickOptions {
  // A button bit of client.h (button::primary, ...).
  int button = 1;
  bool twice = false;
  bool first = false;
};

// Places the pointer on the centre of the control that the query names, exactly, with the
// service's moves (moveTo), and clicks it (twice for a double click). Returns the control. Throws
// as chooseControl(), and as moveTo().
Control clickOn(Client& client, Desktop& desktop, const ControlQuery& query,
                const ClickOptions& options);

// Gives the control the keyboard focus by clicking it with the primary button, and waits until
// it has it. Throws as clickOn(), and ControlNotActionable when it does not take the focus within
// `timeout`.
Control focusOn(Client& client, Desktop& desktop, const ControlQuery& query, bool first,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

// To type into a field: focusOn() it, then typeText() (layouts.h) or typeTextBorrowing() (x11.h).

// Waits until a control matches the query (or, with `gone`, until none does and every application
// answered: one that does not answer may still show it), looking again every `interval`. Returns
// the first match (nullopt with `gone`). Throws WaitTimedOut after `timeout`, naming the
// applications that did not answer.
std::optional<Control> waitFor(Desktop& desktop, const ControlQuery& query, bool gone,
                               std::chrono::milliseconds timeout,
                               std::chrono::milliseconds interval = std::chrono::milliseconds(100));

// A text that an application chose (the name of a control or of an application) as this part's
// messages show it: `"`, `\` and the control characters (C0 below U+0020, DEL, and C1 from U+0080
// to U+009F, which terminals read as escapes too) escaped as JSON escapes them (\n, \t, \u001b,
// \u009b, ...), and bytes that are not UTF-8 replaced with U+FFFD, without quotes: valid JSON
// string contents, so that none breaks a message into lines of its own or reaches a terminal as a
// control sequence.
std::string escapedText(std::string_view text);

}  // namespace virelo::client
