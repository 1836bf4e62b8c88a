#include "platform/hosts/linux_controls.h"

#include <stdexcept>
#include <utility>

#include "platform/atspi/atspi_controls.h"
#include "platform/hosts/compositor_windows.h"
#include "platform/hosts/linux_accessibility.h"
#include "platform/x11/x11_window_list.h"

namespace virelo::hosts {
namespace {

class LinuxControls final : public Controls {
 public:
  LinuxControls(const std::string& display, std::chrono::milliseconds timeout)
      : windows_(display), controls_(windows_, windows_, timeout) {}

  Reach reach() override { return controls_.reach(); }
  ControlSearch find(const ControlFilter& filter) override { return controls_.find(filter); }
  std::vector<std::string> roleNames() override { return controls_.roleNames(); }
  std::string act(std::uint64_t handle, const std::optional<std::string>& action) override {
    return controls_.act(handle, action);
  }

 private:
  x11::X11WindowList windows_;
  atspi::AtspiControls controls_;
};

// The controls of a Wayland desktop whose compositor tells where its windows are.
class CompositorControls final : public Controls {
 public:
  CompositorControls(CompositorWindows::Source source, std::string untold,
                     std::chrono::milliseconds timeout)
      : windows_(std::move(source)),
        untold_(std::move(untold)),
        controls_(windows_, windows_, timeout, atspi::AtspiControls::Positions::inWindow) {}

  Reach reach() override { return controls_.reach(); }
  ControlSearch find(const ControlFilter& filter) override {
    if (controls_.reach() == Reach::ready &&
        !windows_.copyWindowInfo(kWindowListOptionOnScreenOnly, 0)) {
      throw ControlsUnplaceable(untold_);
    }
    return controls_.find(filter);
  }
  std::vector<std::string> roleNames() override { return controls_.roleNames(); }
  std::string act(std::uint64_t handle, const std::optional<std::string>& action) override {
    return controls_.act(handle, action);
  }

 private:
  CompositorWindows windows_;
  std::string untold_;
  atspi::AtspiControls controls_;
};

}  // namespace

std::shared_ptr<Controls> makeAtspiLinuxControls(const std::string& display,
                                                 std::chrono::milliseconds timeout) {
  if (display == kGnomeDisplay) {
    return std::make_shared<CompositorControls>(
        gnomeShellWindows,
        "gnome-shell is not on the accessibility bus, and plain mutter tells no client where "
        "windows are: controls cannot be placed on the screen",
        timeout);
  }
  if (display == kKdeDisplay) {
#if VIRELO_WITH_KDE_ACCESSIBILITY
    return std::make_shared<CompositorControls>(
        kwinWindows(),
        "KWin does not tell where its windows are (org.kde.KWin does not answer on the session "
        "bus): controls cannot be placed on the screen",
        timeout);
#else
    throw ControlsUnplaceable("this build reads no KWin windows (built without the kde host)");
#endif
  }
  return std::make_shared<LinuxControls>(display, timeout);
}

}  // namespace virelo::hosts
