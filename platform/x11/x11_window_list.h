// The X server's list of windows and its monitors, for snap target discovery, on a connection of
// its own. Windows: the window manager's stacking list (_NET_CLIENT_LIST_STACKING) when one runs,
// with the override-redirect windows (which no manager lists) where they stand in the root's
// stacking order, else the root's children; front to back, viewable ones only, with bounds in
// screen coordinates, the owner from _NET_WM_PID (0 when unknown), and layers: 0 for ordinary
// windows, 20 for docks
// (_NET_WM_WINDOW_TYPE_DOCK), 101 for override-redirect windows (menus, tooltips) and -1000 for
// desktop windows, which the option "exclude desktop elements" leaves out. The relative-to-window
// argument is not used. Displays: the RandR monitors, numbered in the server's order.
//
// Threads: used only on the snap target finder's queue (the connection is opened there, on first
// use, and opened again after the server went away).
#pragma once

#include <xcb/xcb.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/active_displays.h"
#include "platform/window_list.h"
#include "platform/x11/x11_connection.h"

namespace virelo::x11 {

class X11WindowList final : public WindowList, public ActiveDisplays {
 public:
  static constexpr int kDockLayer = 20;
  static constexpr int kPopUpLayer = 101;
  static constexpr int kDesktopLayer = -1000;
  // A managed window lies at most this many levels below its top-level frame.
  static constexpr int kMaxFrameDepth = 4;

  explicit X11WindowList(std::string display);
  ~X11WindowList() override;

  std::optional<nlohmann::json> copyWindowInfo(std::uint32_t options,
                                               std::uint32_t relativeToWindow) override;
  std::optional<std::vector<std::uint32_t>> activeDisplayList(std::uint32_t maxDisplays) override;
  Rect displayBounds(std::uint32_t display) override;

  // The class name of WM_CLASS of a window of that process among those of the latest list.
  std::optional<std::string> windowClassOf(std::int32_t pid);

 private:
  struct Atoms;
  struct Pending;
  X11Connection* connection();
  std::vector<xcb_window_t> stackingFrontToBack();
  std::vector<xcb_window_t> withPopUps(const std::vector<xcb_window_t>& clients,
                                       const std::vector<xcb_window_t>& topLevels);
  Pending request(xcb_window_t window);
  std::optional<nlohmann::json> describe(const Pending& pending, bool excludeDesktop);
  int layerOf(xcb_get_property_reply_t* types, bool overrideRedirect) const;

  std::string display_;
  std::unique_ptr<X11Connection> connection_;
  std::unique_ptr<Atoms> atoms_;
  std::vector<Rect> displays_;
  std::map<std::int32_t, xcb_window_t> windowOfPID_;
};

}  // namespace virelo::x11
