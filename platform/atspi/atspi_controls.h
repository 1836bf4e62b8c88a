// The desktop's controls on AT-SPI 2 through libatspi: every application on the accessibility
// bus, each of its top-level windows, and the accessibles within them that the filter accepts.
//
// A window's descendants come in one request where its toolkit answers the collection interface
// (GTK: GetMatches with the role and, unless all are asked for, the showing state), else from a
// walk of its tree, one request per child. Names are read only of those whose role the filter
// accepts, and the rest (states, extents) only of those it accepts by name too.
//
// Where a control lies and whether it is covered come from the window list: an accessible window
// is the X window of its process whose bounds its extents match (scaled by the whole number that
// makes them match, GDK_SCALE for GTK); a control is covered when the front-most window at its
// centre is another. With Positions::inWindow (a Wayland toolkit, whose extents are inside its
// own window) the window list is a compositor's, with titles, and an accessible window is the
// listed window of its process with its title and its size (within 2 points), where exactly one
// is: its controls lie at that window's origin plus their extents. The controls of a window that
// matches none, or several, keep their extents inside the window and have stacking -1; they are
// never taken for covered or off the screen. A control is off the screen when its centre lies on
// none of the X server's monitors (a window larger than the screen, or moved beyond its edge).
//
// Each control carries its whole text and its value where it has them, and a handle by which
// act() has it do one of its actions until the next search. With a container predicate, only
// controls enclosed by an accessible whose name it accepts are given.
//
// An application that leaves a request unanswered for the timeout is skipped, and named in the
// result. This process's own accessibles are never listed.
//
// Threads: only on the thread that first uses it; libatspi must not be used by another thread.
#pragma once

#include <atspi/atspi.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/active_displays.h"
#include "platform/atspi/atspi_status.h"
#include "platform/controls.h"
#include "platform/window_list.h"

namespace virelo::atspi {

class AtspiControls final : public Controls {
 public:
  // Where the accessibility tree puts a window's extents: on the screen (X11), or inside the
  // window itself (Wayland).
  enum class Positions { onScreen, inWindow };

  // `windows` and `displays` must outlive this object.
  AtspiControls(WindowList& windows, ActiveDisplays& displays, std::chrono::milliseconds timeout,
                Positions positions = Positions::onScreen);
  ~AtspiControls() override;

  Reach reach() override;
  ControlSearch find(const ControlFilter& filter) override;
  std::vector<std::string> roleNames() override;
  std::string act(std::uint64_t handle, const std::optional<std::string>& action) override;

 private:
  struct Search;
  // Gives up the accessibles of the latest search.
  void forget();
  // libatspi started, anew when its bus went away, with this search's timeout.
  bool started();

  WindowList& windows_;
  ActiveDisplays& displays_;
  std::chrono::milliseconds timeout_;
  Positions positions_;
  AtspiStatus status_;
  // The accessibles of the controls the latest search gave, one reference each, and how many
  // searches there have been.
  std::vector<AtspiAccessible*> found_;
  std::uint64_t searches_ = 0;
};

}  // namespace virelo::atspi
