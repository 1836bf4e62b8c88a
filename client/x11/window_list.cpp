// The window manager's list of windows and what each window says of itself, read with every
// request of a window sent at once and the replies awaited afterwards.
#include <algorithm>

#include "ewmh.h"
#include "virelo/client/windows.h"

namespace virelo::client {
namespace {

struct Asked {
  xcb_window_t id;
  xcb_get_property_cookie_t netName, name, wmClass, pid, desktop;
  xcb_get_geometry_cookie_t geometry;
  xcb_translate_coordinates_cookie_t origin;
};

Asked ask(const Ewmh& x, xcb_window_t id) {
  return {id,
          askProperty(x, id, x.wmName),
          askProperty(x, id, XCB_ATOM_WM_NAME),
          askProperty(x, id, XCB_ATOM_WM_CLASS),
          askProperty(x, id, x.wmPid),
          askProperty(x, id, x.wmDesktop),
          xcb_get_geometry(x.get(), id),
          xcb_translate_coordinates(x.get(), id, x.root, 0, 0)};
}

using Property = ReplyPtr<xcb_get_property_reply_t>;

Property await(const Ewmh& x, xcb_get_property_cookie_t cookie) {
  return awaitReply<xcb_get_property_reply_t>(x.get(), cookie.sequence);
}

// WM_CLASS holds the instance and the class, each ending in a zero byte.
void classOf(const std::string& both, WindowInfo& window) {
  const std::size_t end = both.find('\0');
  window.instance = both.substr(0, end);
  if (end == std::string::npos) return;
  const std::string rest = both.substr(end + 1);
  window.application = rest.substr(0, rest.find('\0'));
}

// Nullopt for a window that went away since the list was read.
std::optional<WindowInfo> read(const Ewmh& x, const Asked& asked, xcb_window_t active) {
  WindowInfo window;
  window.id = asked.id;
  window.title = bytes(await(x, asked.netName));
  std::string plainName = bytes(await(x, asked.name));
  if (window.title.empty()) window.title = std::move(plainName);
  classOf(bytes(await(x, asked.wmClass)), window);
  if (auto pid = cardinals(await(x, asked.pid)); pid && !pid->empty()) {
    window.pid = static_cast<int>(pid->front());
  }
  if (auto desktop = cardinals(await(x, asked.desktop)); desktop && !desktop->empty()) {
    window.desktop = static_cast<int>(desktop->front());  // 0xFFFFFFFF: -1, every desktop
  }
  auto geometry = awaitReply<xcb_get_geometry_reply_t>(x.get(), asked.geometry.sequence);
  auto origin = awaitReply<xcb_translate_coordinates_reply_t>(x.get(), asked.origin.sequence);
  if (!geometry) return std::nullopt;
  window.geometry.width = geometry->width;
  window.geometry.height = geometry->height;
  if (origin) {
    window.geometry.x = origin->dst_x;
    window.geometry.y = origin->dst_y;
  }
  window.focused = active != XCB_WINDOW_NONE && active == asked.id;
  return window;
}

std::vector<WindowInfo> listed(const Ewmh& x) {
  auto listCookie = askProperty(x, x.root, x.clientList);
  auto activeCookie = askProperty(x, x.root, x.activeWindow);
  auto ids = cardinals(await(x, listCookie));
  auto active = cardinals(await(x, activeCookie));
  x.checkAnswered();
  if (!ids) {
    throw WindowsUnavailable("the window manager on \"" + x.display +
                             "\" publishes no list of windows (_NET_CLIENT_LIST): is one running?");
  }
  std::vector<Asked> asked;
  for (std::uint32_t id : *ids) asked.push_back(ask(x, id));
  const xcb_window_t focused =
      active && !active->empty() ? active->front() : xcb_window_t{XCB_WINDOW_NONE};
  std::vector<WindowInfo> windows;
  for (const Asked& each : asked) {
    if (auto window = read(x, each, focused)) windows.push_back(std::move(*window));
  }
  x.checkAnswered();
  return windows;
}

}  // namespace

std::vector<WindowInfo> listWindows(const char* display) {
  Ewmh x(display);
  return listed(x);
}

std::vector<WindowInfo> searchWindows(const char* display, const WindowQuery& query) {
  std::vector<WindowInfo> windows = listWindows(display);
  std::erase_if(windows, [&](const WindowInfo& w) {
    if (query.pid && w.pid != *query.pid) return true;
    if (query.name && !query.name(w.title)) return true;
    return query.className && !query.className(w.application) && !query.className(w.instance);
  });
  return windows;
}

std::optional<WindowInfo> activeWindow(const char* display) {
  for (WindowInfo& window : listWindows(display)) {
    if (window.focused) return std::move(window);
  }
  return std::nullopt;
}

ScreenArea displayGeometry(const char* display) {
  std::optional<ScreenArea> area = screenArea(display);
  if (!area) {
    throw WindowsUnavailable(std::string("no X server answers on \"") +
                             (display != nullptr ? display : "") + "\"");
  }
  return *area;
}

}  // namespace virelo::client
