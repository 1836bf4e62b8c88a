#include "tools/steer/focused_application.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace virelo::steer {
namespace {

constexpr auto kRereadAfter = std::chrono::milliseconds(500);

template <typename Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

}  // namespace

FocusedApplication::FocusedApplication(const std::string& display) {
  const char* name = display.empty() ? std::getenv("DISPLAY") : display.c_str();
  if (name == nullptr || *name == '\0') return;
  int screen = 0;
  connection_ = xcb_connect(name, &screen);
  if (xcb_connection_has_error(connection_) != 0) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
    return;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screen && it.rem > 0; ++i) xcb_screen_next(&it);
  root_ = it.data->root;
  const char* atom = "_NET_ACTIVE_WINDOW";
  Owned<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 1, std::strlen(atom), atom),
                            nullptr),
      &std::free);
  if (reply) activeAtom_ = reply->atom;
}

FocusedApplication::~FocusedApplication() {
  if (connection_ != nullptr) xcb_disconnect(connection_);
}

const std::string& FocusedApplication::current() {
  const auto now = std::chrono::steady_clock::now();
  if (!everRead_ || now - readAt_ >= kRereadAfter) {
    current_ = read();
    readAt_ = now;
    everRead_ = true;
  }
  return current_;
}

std::string FocusedApplication::read() {
  if (connection_ == nullptr || activeAtom_ == 0) return "";
  Owned<xcb_get_property_reply_t> active(
      xcb_get_property_reply(
          connection_, xcb_get_property(connection_, 0, root_, activeAtom_, XCB_ATOM_WINDOW, 0, 1),
          nullptr),
      &std::free);
  if (!active || xcb_get_property_value_length(active.get()) != 4) return "";
  const xcb_window_t window = *static_cast<xcb_window_t*>(xcb_get_property_value(active.get()));
  Owned<xcb_get_property_reply_t> wmClass(
      xcb_get_property_reply(
          connection_,
          xcb_get_property(connection_, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
          nullptr),
      &std::free);
  if (!wmClass) return "";
  // WM_CLASS is the instance and the class, each ended by a NUL.
  const char* value = static_cast<const char*>(xcb_get_property_value(wmClass.get()));
  const std::string both(value,
                         static_cast<std::size_t>(xcb_get_property_value_length(wmClass.get())));
  const auto end = both.find('\0');
  if (end == std::string::npos) return "";
  const std::string rest = both.substr(end + 1);
  return rest.substr(0, rest.find('\0'));
}

}  // namespace virelo::steer
