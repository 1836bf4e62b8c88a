#include "platform/x11/x11_window_list.h"

#include <algorithm>
#include <cstring>

#include "platform/x11/x11_reply.h"
#include "platform/x11/x11_settings.h"

namespace virelo::x11 {
namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  ReplyPtr<xcb_intern_atom_reply_t> reply(awaitReply<xcb_intern_atom_reply_t>(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name).sequence));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The values of a property of 32-bit items, empty when absent.
std::vector<std::uint32_t> cardinals(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name) {
  ReplyPtr<xcb_get_property_reply_t> reply(awaitReply<xcb_get_property_reply_t>(
      c, xcb_get_property(c, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096).sequence));
  if (!reply || reply->format != 32) return {};
  auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  return {data, data + xcb_get_property_value_length(reply.get()) / 4};
}

nlohmann::json rectDictionary(double x, double y, double w, double h) {
  return {{"X", x}, {"Y", y}, {"Width", w}, {"Height", h}};
}

}  // namespace

struct X11WindowList::Atoms {
  xcb_atom_t stacking, pid, type, typeDesktop, typeDock;
};

X11WindowList::X11WindowList(std::string display) : display_(std::move(display)) {}

X11WindowList::~X11WindowList() = default;

X11Connection* X11WindowList::connection() {
  if (connection_ && connection_->alive()) return connection_.get();
  connection_ = X11Connection::open(display_);
  if (!connection_) return nullptr;
  auto* c = connection_->get();
  atoms_ = std::make_unique<Atoms>(Atoms{
      atom(c, "_NET_CLIENT_LIST_STACKING"), atom(c, "_NET_WM_PID"), atom(c, "_NET_WM_WINDOW_TYPE"),
      atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP"), atom(c, "_NET_WM_WINDOW_TYPE_DOCK")});
  return connection_.get();
}

std::vector<xcb_window_t> X11WindowList::stackingFrontToBack() {
  auto* c = connection_->get();
  auto treeCookie = xcb_query_tree(c, connection_->root());
  // Both lists run bottom to top.
  std::vector<xcb_window_t> clients = cardinals(c, connection_->root(), atoms_->stacking);
  ReplyPtr<xcb_query_tree_reply_t> tree(awaitReply<xcb_query_tree_reply_t>(c, treeCookie.sequence));
  std::vector<xcb_window_t> topLevels;
  if (tree) {
    auto* children = xcb_query_tree_children(tree.get());
    topLevels.assign(children, children + xcb_query_tree_children_length(tree.get()));
  }
  std::vector<xcb_window_t> windows =
      clients.empty() ? std::move(topLevels) : withPopUps(clients, topLevels);
  std::reverse(windows.begin(), windows.end());
  return windows;
}

// A window manager lists only the windows it manages. Override-redirect windows (menus, combo
// box lists, tooltips) are children of the root that it never sees, and they lie over the
// windows below them in the root's stacking order (the order of QueryTree), like any other. So
// the managed windows are placed by their top-level ancestor (the manager's frame, or the window
// itself) among the root's children, and the viewable override-redirect children are put between
// them where they stand.
std::vector<xcb_window_t> X11WindowList::withPopUps(const std::vector<xcb_window_t>& clients,
                                                    const std::vector<xcb_window_t>& topLevels) {
  auto* c = connection_->get();
  const xcb_window_t root = connection_->root();
  std::vector<xcb_get_window_attributes_cookie_t> attributes;
  attributes.reserve(topLevels.size());
  for (auto window : topLevels) attributes.push_back(xcb_get_window_attributes(c, window));
  // Climbs from every client towards the root, all clients one level at a time.
  std::map<xcb_window_t, xcb_window_t> ancestorOf;
  std::vector<std::pair<xcb_window_t, xcb_window_t>> climbing;  // client, current window
  for (auto client : clients) climbing.emplace_back(client, client);
  for (int level = 0; level < kMaxFrameDepth && !climbing.empty(); ++level) {
    std::vector<xcb_query_tree_cookie_t> parents;
    for (const auto& [client, current] : climbing) parents.push_back(xcb_query_tree(c, current));
    std::vector<std::pair<xcb_window_t, xcb_window_t>> higher;
    for (std::size_t i = 0; i < climbing.size(); ++i) {
      ReplyPtr<xcb_query_tree_reply_t> reply(
          awaitReply<xcb_query_tree_reply_t>(c, parents[i].sequence));
      if (!reply || reply->parent == XCB_WINDOW_NONE) continue;
      if (reply->parent == root) {
        ancestorOf[climbing[i].first] = climbing[i].second;
      } else {
        higher.emplace_back(climbing[i].first, reply->parent);
      }
    }
    climbing = std::move(higher);
  }
  std::multimap<xcb_window_t, xcb_window_t> clientsOf;  // top-level ancestor, client
  std::vector<xcb_window_t> windows;
  for (auto client : clients) {
    auto ancestor = ancestorOf.find(client);
    if (ancestor == ancestorOf.end()) {
      // Gone meanwhile, or nested too deep: at the bottom, in the manager's order.
      windows.push_back(client);
    } else {
      clientsOf.emplace(ancestor->second, client);
    }
  }
  for (std::size_t i = 0; i < topLevels.size(); ++i) {
    ReplyPtr<xcb_get_window_attributes_reply_t> reply(
        awaitReply<xcb_get_window_attributes_reply_t>(c, attributes[i].sequence));
    if (reply && reply->override_redirect != 0 && reply->map_state == XCB_MAP_STATE_VIEWABLE) {
      windows.push_back(topLevels[i]);
    }
    auto [first, last] = clientsOf.equal_range(topLevels[i]);
    for (auto it = first; it != last; ++it) windows.push_back(it->second);
  }
  return windows;
}

// The requests about one window, sent together for all windows before any reply is read, so that
// a list costs one round trip to the server.
struct X11WindowList::Pending {
  xcb_window_t window;
  xcb_get_window_attributes_cookie_t attributes;
  xcb_get_geometry_cookie_t geometry;
  xcb_translate_coordinates_cookie_t origin;
  xcb_get_property_cookie_t pid;
  xcb_get_property_cookie_t type;
};

X11WindowList::Pending X11WindowList::request(xcb_window_t window) {
  auto* c = connection_->get();
  return {window,
          xcb_get_window_attributes(c, window),
          xcb_get_geometry(c, window),
          xcb_translate_coordinates(c, window, connection_->root(), 0, 0),
          xcb_get_property(c, 0, window, atoms_->pid, XCB_ATOM_CARDINAL, 0, 1),
          xcb_get_property(c, 0, window, atoms_->type, XCB_ATOM_ATOM, 0, 32)};
}

int X11WindowList::layerOf(xcb_get_property_reply_t* types, bool overrideRedirect) const {
  if (overrideRedirect) return kPopUpLayer;
  if (types == nullptr || types->format != 32) return 0;
  auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(types));
  for (int i = 0; i < xcb_get_property_value_length(types) / 4; ++i) {
    if (data[i] == atoms_->typeDesktop) return kDesktopLayer;
    if (data[i] == atoms_->typeDock) return kDockLayer;
  }
  return 0;
}

std::optional<nlohmann::json> X11WindowList::describe(const Pending& pending, bool excludeDesktop) {
  auto* c = connection_->get();
  ReplyPtr<xcb_get_window_attributes_reply_t> attributes(
      awaitReply<xcb_get_window_attributes_reply_t>(c, pending.attributes.sequence));
  ReplyPtr<xcb_get_geometry_reply_t> geometry(
      awaitReply<xcb_get_geometry_reply_t>(c, pending.geometry.sequence));
  ReplyPtr<xcb_translate_coordinates_reply_t> origin(
      awaitReply<xcb_translate_coordinates_reply_t>(c, pending.origin.sequence));
  ReplyPtr<xcb_get_property_reply_t> pids(
      awaitReply<xcb_get_property_reply_t>(c, pending.pid.sequence));
  ReplyPtr<xcb_get_property_reply_t> types(
      awaitReply<xcb_get_property_reply_t>(c, pending.type.sequence));
  if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) return std::nullopt;
  if (!geometry || !origin) return std::nullopt;
  int layer = layerOf(types.get(), attributes->override_redirect != 0);
  if (excludeDesktop && layer == kDesktopLayer) return std::nullopt;
  std::int32_t pid = 0;
  if (pids && pids->format == 32 && xcb_get_property_value_length(pids.get()) >= 4) {
    pid = static_cast<std::int32_t>(
        *static_cast<const std::uint32_t*>(xcb_get_property_value(pids.get())));
  }
  if (pid != 0) windowOfPID_.try_emplace(pid, pending.window);
  return nlohmann::json{{kWindowOwnerPID, pid},
                        {kWindowLayer, layer},
                        {kWindowBounds, rectDictionary(origin->dst_x, origin->dst_y,
                                                       geometry->width, geometry->height)},
                        {"kCGWindowNumber", pending.window}};
}

std::optional<nlohmann::json> X11WindowList::copyWindowInfo(std::uint32_t options,
                                                            std::uint32_t /*relativeToWindow*/) {
  if (connection() == nullptr) return std::nullopt;
  windowOfPID_.clear();
  bool excludeDesktop = (options & kWindowListExcludeDesktopElements) != 0;
  std::vector<Pending> pending;
  for (auto window : stackingFrontToBack()) pending.push_back(request(window));
  auto list = nlohmann::json::array();
  for (const auto& each : pending) {
    if (auto entry = describe(each, excludeDesktop)) list.push_back(std::move(*entry));
  }
  return list;
}

std::optional<std::vector<std::uint32_t>> X11WindowList::activeDisplayList(
    std::uint32_t maxDisplays) {
  if (connection() == nullptr) return std::nullopt;
  auto bounds = monitors(*connection_, maxDisplays);
  if (!bounds) return std::nullopt;
  displays_ = std::move(*bounds);
  std::vector<std::uint32_t> ids(displays_.size());
  for (std::uint32_t i = 0; i < ids.size(); ++i) ids[i] = i;
  return ids;
}

Rect X11WindowList::displayBounds(std::uint32_t display) {
  return display < displays_.size() ? displays_[display] : Rect{};
}

std::optional<std::string> X11WindowList::windowClassOf(std::int32_t pid) {
  auto it = windowOfPID_.find(pid);
  if (it == windowOfPID_.end() || connection() == nullptr) return std::nullopt;
  auto* c = connection_->get();
  ReplyPtr<xcb_get_property_reply_t> reply(awaitReply<xcb_get_property_reply_t>(
      c, xcb_get_property(c, 0, it->second, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256).sequence));
  if (!reply || reply->format != 8) return std::nullopt;
  // Instance name and class name, each ended by a zero byte.
  auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
  std::string both(data, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
  auto split = both.find('\0');
  if (split == std::string::npos) return std::nullopt;
  std::string name = both.substr(split + 1);
  if (auto end = name.find('\0'); end != std::string::npos) name.resize(end);
  if (name.empty()) return std::nullopt;
  return name;
}

}  // namespace virelo::x11
