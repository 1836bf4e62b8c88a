// KWin's windows as its D-Bus interface tells any caller on the session bus: the window runner
// (org.kde.krunner1.Match on /WindowsRunner, asked with an empty query) names every window by
// its id, and org.kde.KWin.getWindowInfo gives each one's frame (x, y, width and height in the
// compositor's logical coordinates), caption, type, virtual desktops and whether it is
// minimized; the virtual desktop shown is the VirtualDesktopManager's "current". KWin tells no
// window's process and no stacking order.
//
// Threads: one thread at a time (an sd-bus connection is not thread-safe).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"

struct sd_bus;

namespace virelo::kde {

struct KwinWindow {
  Rect frame;
  std::string caption;
};

class KwinWindows {
 public:
  // Every call that waits for its reply waits at most this long.
  static constexpr std::uint64_t kCallTimeoutMicros = 200'000;

  // Connects to the session bus on first use ($DBUS_SESSION_BUS_ADDRESS).
  KwinWindows() = default;
  ~KwinWindows();
  KwinWindows(const KwinWindows&) = delete;
  KwinWindows& operator=(const KwinWindows&) = delete;

  // The windows shown that may hide others (neither minimized, on another virtual desktop, nor
  // the desktop's background), once each; nullopt when there is no bus, KWin does not answer on
  // it, or a reply is not what KWin sends.
  std::optional<std::vector<KwinWindow>> windows();

 private:
  std::optional<std::vector<std::string>> windowIds();
  // The id of the virtual desktop shown.
  std::optional<std::string> currentDesktop();
  // nullopt for a window that is gone or hides nothing (on another virtual desktop than
  // `desktop`, say).
  std::optional<KwinWindow> window(const std::string& id, const std::string& desktop, bool& failed);

  sd_bus* bus_ = nullptr;
};

}  // namespace virelo::kde
