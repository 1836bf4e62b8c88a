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
// centre is another. A control is off the screen when its centre lies on none of the X server's
// monitors (a window larger than the screen, or moved beyond its edge).
//
// An application that leaves a request unanswered for the timeout is skipped, and named in the
// result. This process's own accessibles are never listed.
//
// Threads: only on the thread that first uses it; libatspi must not be used by another thread.
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "platform/active_displays.h"
#include "platform/atspi/atspi_status.h"
#include "platform/controls.h"
#include "platform/window_list.h"

namespace virelo::atspi {

class AtspiControls final : public Controls {
 public:
  // `windows` and `displays` must outlive this object.
  AtspiControls(WindowList& windows, ActiveDisplays& displays, std::chrono::milliseconds timeout);
  ~AtspiControls() override;

  Reach reach() override;
  ControlSearch find(const ControlFilter& filter) override;
  std::vector<std::string> roleNames() override;

 private:
  struct Search;
  // libatspi started, anew when its bus went away, with this search's timeout.
  bool started();

  WindowList& windows_;
  ActiveDisplays& displays_;
  std::chrono::milliseconds timeout_;
  AtspiStatus status_;
};

}  // namespace virelo::atspi
