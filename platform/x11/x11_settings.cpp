#include "platform/x11/x11_settings.h"

#include <xcb/randr.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/x11/x11_reply.h"

namespace virelo::x11 {
namespace {

constexpr double kMsPerSecond = 1000.0;
// The font resolution of an unscaled desk, and the largest scale taken.
constexpr double kUnscaledDpi = 96.0;
constexpr double kMaxScale = 4.0;
// XSETTINGS gives Xft/DPI in 1024ths of a dpi.
constexpr double kXsettingsDpiUnit = 1024.0;

xcb_atom_t internAtom(xcb_connection_t* c, const std::string& name) {
  ReplyPtr<xcb_intern_atom_reply_t> reply(awaitReply<xcb_intern_atom_reply_t>(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()).sequence));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// Reads the XSETTINGS property, byte order as its first byte says.
class SettingsReader {
 public:
  explicit SettingsReader(std::span<const std::uint8_t> data) : data_(data) {
    bigEndian_ = !data.empty() && data[0] == 1;
  }
  bool has(std::size_t n) const { return at_ + n <= data_.size(); }
  void skip(std::size_t n) { at_ += n; }
  std::uint32_t card(std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
      std::uint32_t byte = data_[at_ + (bigEndian_ ? i : bytes - 1 - i)];
      value = (value << 8) | byte;
    }
    at_ += bytes;
    return value;
  }
  std::string_view text(std::size_t n) {
    std::string_view t(reinterpret_cast<const char*>(data_.data() + at_), n);
    at_ += n;
    return t;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t at_ = 0;
  bool bigEndian_ = false;
};

std::size_t padded(std::size_t n) {
  return (n + 3) & ~std::size_t{3};
}

// Skips the value of a setting of the type; false when the data ends first.
bool skipValue(SettingsReader& reader, std::uint8_t type) {
  if (type == 0 || type == 2) {  // integer; colour of four 16-bit parts
    reader.skip(type == 0 ? 4 : 8);
    return true;
  }
  if (type != 1 || !reader.has(4)) return false;  // text: length and padded bytes
  reader.skip(padded(reader.card(4)));
  return true;
}

}  // namespace

std::optional<std::int32_t> xsettingsInteger(std::span<const std::uint8_t> property,
                                             std::string_view name) {
  SettingsReader reader(property);
  if (!reader.has(12)) return std::nullopt;
  reader.skip(8);  // byte order, padding, serial
  std::uint32_t count = reader.card(4);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!reader.has(4)) return std::nullopt;
    std::uint8_t type = static_cast<std::uint8_t>(reader.card(1));
    reader.skip(1);
    std::size_t length = reader.card(2);
    if (!reader.has(padded(length) + 4)) return std::nullopt;
    std::string_view settingName = reader.text(length);
    reader.skip(padded(length) - length + 4);  // padding, last-change serial
    if (settingName == name && type == 0 && reader.has(4)) {
      return static_cast<std::int32_t>(reader.card(4));
    }
    if (!skipValue(reader, type)) return std::nullopt;
  }
  return std::nullopt;
}

namespace {

// The _XSETTINGS_SETTINGS property of the screen's XSETTINGS manager; empty without one.
std::vector<std::uint8_t> xsettingsProperty(X11Connection& connection) {
  auto* c = connection.get();
  std::string selectionName = "_XSETTINGS_S";
  selectionName += std::to_string(connection.screenNumber());
  auto selection = internAtom(c, selectionName);
  ReplyPtr<xcb_get_selection_owner_reply_t> owner(awaitReply<xcb_get_selection_owner_reply_t>(
      c, xcb_get_selection_owner(c, selection).sequence));
  if (!owner || owner->owner == XCB_WINDOW_NONE) return {};
  auto settings = internAtom(c, "_XSETTINGS_SETTINGS");
  ReplyPtr<xcb_get_property_reply_t> property(awaitReply<xcb_get_property_reply_t>(
      c, xcb_get_property(c, 0, owner->owner, settings, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16)
             .sequence));
  if (!property || property->format != 8) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(xcb_get_property_value(property.get()));
  return {bytes, bytes + xcb_get_property_value_length(property.get())};
}

// The RESOURCE_MANAGER text of the root window; empty when there is none.
std::string resourceText(X11Connection& connection) {
  auto* c = connection.get();
  ReplyPtr<xcb_get_property_reply_t> property(awaitReply<xcb_get_property_reply_t>(
      c, xcb_get_property(c, 0, connection.root(), XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0,
                          1 << 16)
             .sequence));
  if (!property || property->format != 8) return {};
  const auto* text = static_cast<const char*>(xcb_get_property_value(property.get()));
  return {text, static_cast<std::size_t>(xcb_get_property_value_length(property.get()))};
}

}  // namespace

double doubleClickSeconds(X11Connection& connection) {
  auto ms = xsettingsInteger(xsettingsProperty(connection), "Net/DoubleClickTime");
  return ms && *ms > 0 ? *ms / kMsPerSecond : kDefaultDoubleClickSeconds;
}

double scaleOfDpi(double dpi) {
  if (!(dpi > kUnscaledDpi)) return 1;
  return std::min(dpi / kUnscaledDpi, kMaxScale);
}

std::optional<double> resourceDpi(std::string_view resources) {
  constexpr std::string_view kName = "Xft.dpi:";
  std::size_t at = 0;
  while (at < resources.size()) {
    std::size_t end = resources.find('\n', at);
    if (end == std::string_view::npos) end = resources.size();
    std::string_view line = resources.substr(at, end - at);
    at = end + 1;
    if (!line.starts_with(kName)) continue;
    std::string value(line.substr(kName.size()));
    char* rest = nullptr;
    double dpi = std::strtod(value.c_str(), &rest);
    if (rest != value.c_str() && dpi > 0) return dpi;
    return std::nullopt;
  }
  return std::nullopt;
}

double deskScale(X11Connection& connection) {
  auto fromSettings = xsettingsInteger(xsettingsProperty(connection), "Xft/DPI");
  if (fromSettings && *fromSettings > 0) return scaleOfDpi(*fromSettings / kXsettingsDpiUnit);
  auto fromResources = resourceDpi(resourceText(connection));
  return fromResources ? scaleOfDpi(*fromResources) : 1;
}

std::optional<std::vector<Rect>> monitors(X11Connection& connection, std::size_t max) {
  if (!connection.hasMonitors()) {
    return std::vector<Rect>{makeRect(0, 0, connection.screenWidth(), connection.screenHeight())};
  }
  auto* c = connection.get();
  ReplyPtr<xcb_randr_get_monitors_reply_t> reply(awaitReply<xcb_randr_get_monitors_reply_t>(
      c, xcb_randr_get_monitors(c, connection.root(), 1).sequence));
  if (!reply) return std::nullopt;
  std::vector<Rect> bounds;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get());
       it.rem > 0 && bounds.size() < max; xcb_randr_monitor_info_next(&it)) {
    bounds.push_back(makeRect(it.data->x, it.data->y, it.data->width, it.data->height));
  }
  return bounds;
}

std::optional<Point> pointerPosition(X11Connection& connection) {
  auto* c = connection.get();
  ReplyPtr<xcb_query_pointer_reply_t> reply(
      awaitReply<xcb_query_pointer_reply_t>(c, xcb_query_pointer(c, connection.root()).sequence));
  if (!reply) return std::nullopt;
  return Point{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)};
}

}  // namespace virelo::x11
