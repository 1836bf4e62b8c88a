#include "ewmh.h"

#include <cstring>

#include "virelo/client/errors.h"

namespace virelo::client {
namespace {

XcbConnectionPtr connected(const char* display) {
  XcbConnectionPtr connection = connectX(display);
  if (!connection) {
    throw WindowsUnavailable(std::string("no X server answers on \"") +
                             (display != nullptr ? display : "") + "\"");
  }
  return connection;
}

}  // namespace

Ewmh::Ewmh(const char* name) : display(name != nullptr ? name : ""), connection(connected(name)) {
  root = xcb_setup_roots_iterator(xcb_get_setup(get())).data->root;
  const char* names[] = {"_NET_CLIENT_LIST", "_NET_ACTIVE_WINDOW", "_NET_SUPPORTED", "_NET_WM_NAME",
                         "UTF8_STRING",      "_NET_WM_PID",        "_NET_WM_DESKTOP"};
  xcb_atom_t* atoms[] = {&clientList, &activeWindow, &supported, &wmName,
                         &utf8,       &wmPid,        &wmDesktop};
  xcb_intern_atom_cookie_t cookies[std::size(names)];
  for (std::size_t i = 0; i < std::size(names); ++i) {
    cookies[i] =
        xcb_intern_atom(get(), 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
  }
  for (std::size_t i = 0; i < std::size(names); ++i) {
    auto reply = awaitReply<xcb_intern_atom_reply_t>(get(), cookies[i].sequence);
    if (reply) *atoms[i] = reply->atom;
  }
  checkAnswered();
}

void Ewmh::checkAnswered() const {
  if (xcb_connection_has_error(get()) != 0) {
    throw XServerSilent("the X server on \"" + display + "\" stopped answering");
  }
}

xcb_get_property_cookie_t askProperty(const Ewmh& x, xcb_window_t window, xcb_atom_t property) {
  // Up to 64 KiB of 32-bit units: any title or list a window manager publishes.
  return xcb_get_property(x.get(), 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 16384);
}

std::optional<std::vector<std::uint32_t>> cardinals(const ReplyPtr<xcb_get_property_reply_t>& r) {
  if (!r || r->type == XCB_ATOM_NONE || r->format != 32) return std::nullopt;
  const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
  const int count = xcb_get_property_value_length(r.get()) / 4;
  return std::vector<std::uint32_t>(values, values + count);
}

std::string bytes(const ReplyPtr<xcb_get_property_reply_t>& reply) {
  if (!reply || reply->type == XCB_ATOM_NONE || reply->format != 8) return {};
  return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

}  // namespace virelo::client
