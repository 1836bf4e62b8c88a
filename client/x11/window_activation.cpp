// Activating a window: the window manager's _NET_ACTIVE_WINDOW request, and the wait until the
// root window's _NET_ACTIVE_WINDOW names it.
#include <algorithm>
#include <thread>

#include "ewmh.h"
#include "virelo/client/windows.h"

namespace virelo::client {
namespace {

using Clock = std::chrono::steady_clock;

// How often the active window is read while waiting.
constexpr std::chrono::milliseconds kActivationPoll{10};

bool supports(const Ewmh& x, xcb_atom_t request) {
  auto supported = cardinals(
      awaitReply<xcb_get_property_reply_t>(x.get(), askProperty(x, x.root, x.supported).sequence));
  x.checkAnswered();
  return supported && std::find(supported->begin(), supported->end(), request) != supported->end();
}

std::optional<xcb_window_t> activeNow(const Ewmh& x) {
  auto active = cardinals(awaitReply<xcb_get_property_reply_t>(
      x.get(), askProperty(x, x.root, x.activeWindow).sequence));
  x.checkAnswered();
  if (!active || active->empty()) return std::nullopt;
  return active->front();
}

// Source 2: a pager's request, which window managers carry out as the user's own.
void requestActivation(const Ewmh& x, xcb_window_t window, xcb_window_t current) {
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = x.activeWindow;
  message.data.data32[0] = 2;
  message.data.data32[1] = XCB_CURRENT_TIME;
  message.data.data32[2] = current;
  xcb_send_event(x.get(), 0, x.root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(x.get());
}

}  // namespace

bool windowActivationOffered(const char* display) {
  Ewmh x(display);
  return supports(x, x.activeWindow);
}

void activateWindow(const char* display, std::uint32_t id, std::chrono::milliseconds wait) {
  Ewmh x(display);
  const std::vector<WindowInfo> windows = listWindows(display);
  if (std::none_of(windows.begin(), windows.end(),
                   [&](const WindowInfo& w) { return w.id == id; })) {
    throw NoSuchWindow("no window " + std::to_string(id) + " in the window manager's list on \"" +
                       x.display + "\"");
  }
  if (!supports(x, x.activeWindow)) {
    throw WindowRequestUnsupported("the window manager on \"" + x.display +
                                   "\" offers no request to activate a window (its "
                                   "_NET_SUPPORTED lacks _NET_ACTIVE_WINDOW)");
  }
  requestActivation(x, id, activeNow(x).value_or(XCB_WINDOW_NONE));
  for (const auto deadline = Clock::now() + wait;;) {
    if (activeNow(x) == id) return;
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(kActivationPoll);
  }
  throw WindowNotActivated("the window manager on \"" + x.display + "\" did not activate window " +
                           std::to_string(id) + " within " + std::to_string(wait.count()) + " ms");
}

}  // namespace virelo::client
