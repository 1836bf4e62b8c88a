// The top-level windows of an X desktop (part of the library Virelo::x11, component X11), as the
// window manager publishes them through the Extended Window Manager Hints on the root window
// (_NET_CLIENT_LIST, _NET_ACTIVE_WINDOW, _NET_SUPPORTED) and the windows' own properties
// (_NET_WM_NAME, WM_CLASS, _NET_WM_PID, _NET_WM_DESKTOP): listing them, searching among them,
// the active one, activating one, and the display's geometry (RandR).
//
//   auto all = virelo::client::listWindows(":0");              // throws WindowsUnavailable
//   virelo::client::WindowQuery editor;
//   editor.className = virelo::client::NameMatch::matching("(?i)gedit");   // controls.h, RE2
//   auto found = virelo::client::searchWindows(":0", editor);
//   virelo::client::activateWindow(":0", found.at(0).id);      // WindowRequestUnsupported, ...
//
// Every request waits at most kReplyWait for the server, and activateWindow() at most its own
// bound for the window manager; a server that does not answer in time throws XServerSilent.
//
// Threads: any; each call opens a connection of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"

namespace virelo::client {

struct WindowInfo {
  // The X window's id (what xdotool and xprop show, in decimal here).
  std::uint32_t id = 0;
  // _NET_WM_NAME, else WM_NAME; empty when it has neither.
  std::string title;
  // WM_CLASS: its class ("Gedit", "XTerm") and its instance ("gedit", "xterm").
  std::string application;
  std::string instance;
  // _NET_WM_PID; 0 when the window does not say.
  int pid = 0;
  // Its area without the window manager's frame, in the root window's pixels.
  ScreenArea geometry;
  // _NET_WM_DESKTOP, from 0; -1 on every desktop; nullopt when the window does not say.
  std::optional<int> desktop;
  // It is the active window (_NET_ACTIVE_WINDOW).
  bool focused = false;
};

// Which windows: each part left empty accepts every window. A name or class matcher can be a
// NameMatch of controls.h (exact, containing, or an RE2 expression over the whole text).
struct WindowQuery {
  // Called with the title.
  std::function<bool(std::string_view)> name;
  // Called with the class and with the instance of WM_CLASS; either may match.
  std::function<bool(std::string_view)> className;
  std::optional<int> pid;
};

// The managed top-level windows in the order the window manager lists them (_NET_CLIENT_LIST:
// oldest first). Throws WindowsUnavailable when no X server answers on `display` or its window
// manager publishes no list.
std::vector<WindowInfo> listWindows(const char* display);
// The windows of listWindows() that the query accepts, in that order.
std::vector<WindowInfo> searchWindows(const char* display, const WindowQuery& query);
// The active window; nullopt when none is (_NET_ACTIVE_WINDOW is None) or it is not one of the
// list. Throws as listWindows().
std::optional<WindowInfo> activeWindow(const char* display);

// Whether the window manager on `display` offers the request that activateWindow() sends
// (_NET_SUPPORTED lists _NET_ACTIVE_WINDOW). Throws WindowsUnavailable when no X server answers
// there, XServerSilent when it does not answer in time.
bool windowActivationOffered(const char* display);

// How long activateWindow() waits for the window manager to make the window active.
inline constexpr std::chrono::milliseconds kActivationWait{2000};

// Asks the window manager to raise and focus the window (a _NET_ACTIVE_WINDOW client message, as
// a pager sends it, so that no focus-stealing prevention holds it back) and waits until it is the
// active window. Throws WindowsUnavailable as listWindows(); NoSuchWindow when `id` is not one of
// the list; WindowRequestUnsupported when the window manager offers no such request
// (_NET_SUPPORTED lacks _NET_ACTIVE_WINDOW); WindowNotActivated when it is still not active after
// `wait`.
void activateWindow(const char* display, std::uint32_t id,
                    std::chrono::milliseconds wait = kActivationWait);

// The size of the whole screen (the root window, which holds every RandR monitor; monitors() in
// x11.h lists them one by one). Throws WindowsUnavailable when no X server answers.
ScreenArea displayGeometry(const char* display);

}  // namespace virelo::client
