// The controls of the applications on the desktop, as their accessibility trees describe them:
// what a person acting on a control by name needs to know of it (its role, name and application,
// where it lies on the screen, and whether it can be acted on there).
//
// Threads: an instance is used by one thread at a time, the same one for its whole life.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"

namespace virelo {

// Which controls a search gives. An empty predicate accepts everything.
struct ControlFilter {
  // A role name of the accessibility tree ("push button"), as roleNames() lists it.
  std::optional<std::string> role;
  std::function<bool(std::string_view)> name;
  // Called with the application's name in the accessibility tree and with its program's name
  // (/proc/PID/comm); either may accept it.
  std::function<bool(std::string_view)> application;
  // With `all`, also the controls that are not showing (hidden, scrolled away in a page not
  // shown, in windows that are not mapped); otherwise only those the application shows.
  bool all = false;
  // Called with the names of the accessibles that enclose a control, from its parent up to its
  // window; the control is given when it accepts one of them.
  std::function<bool(std::string_view)> container;
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
  std::int32_t pid = 0;
  // In the X server's pixels, the application's own scale (GDK_SCALE) applied.
  Rect bounds;
  bool enabled = false;
  // Showing, of some size, with its centre on its window.
  bool visible = false;
  bool focused = false;
  bool focusable = false;
  bool editable = false;
  // Its centre lies under another window.
  bool covered = false;
  // Its centre lies on no monitor: its window reaches beyond the screen's edge.
  bool offScreen = false;
  // The place of its window in the stacking order, 0 for the front one; -1 when no window of the
  // window list matches its accessible window.
  int stacking = -1;
  // Its whole text, when it has one (entries, labels, text views, spin buttons).
  std::optional<std::string> text;
  // Its value, when it has one.
  std::optional<ControlValue> value;
  // Names this control in act() until the next search.
  std::uint64_t handle = 0;
};

struct ControlSearch {
  // Applications in the order the accessibility tree lists them, the controls of each in the
  // order of its tree.
  std::vector<Control> controls;
  // Applications that did not answer in time and were skipped, by name.
  std::vector<std::string> unanswering;
};

// Thrown by Controls::find() where the desktop tells no client where any window is (a Wayland
// compositor that keeps it to itself), so that no control can be placed on the screen.
class ControlsUnplaceable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Controls {
 public:
  enum class Reach {
    ready,
    // The user's setting leaves the accessibility bus switched off.
    switchedOff,
    // No session bus, or no accessibility bus on it.
    noBus,
  };

  virtual ~Controls() = default;
  virtual Reach reach() = 0;
  // Throws std::invalid_argument for a role that roleNames() does not list, ControlsUnplaceable
  // (above).
  virtual ControlSearch find(const ControlFilter& filter) = 0;
  // Every role name of the accessibility tree.
  virtual std::vector<std::string> roleNames() = 0;
  // Has the control that the latest find() gave with `handle` do its action named `action` (its
  // first action when nullopt), as an assistive technology does: without the pointer or the
  // keyboard. Returns the action's name. Throws std::runtime_error when the handle is not of the
  // latest search, the control has no such action, or it refuses it.
  virtual std::string act(std::uint64_t handle, const std::optional<std::string>& action) = 0;
};

}  // namespace virelo
