#include "platform/kde/kwin_windows.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cstring>

namespace virelo::kde {
namespace {

constexpr const char* kService = "org.kde.KWin";
// The window type of the desktop's background (NET::Desktop).
constexpr std::int32_t kDesktopType = 1;

// A method call's reply, released with the object; `ok` when the call succeeded.
struct Call {
  sd_bus_message* reply = nullptr;
  sd_bus_error error{};  // SD_BUS_ERROR_NULL, whose compound literal is C only
  bool ok = false;
  Call() = default;
  Call(const Call&) = delete;
  ~Call() {
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
  }
};

// A window runner's match id: the action, "_", the window's id.
std::string windowIdOf(const char* matchId) {
  const char* separator = std::strchr(matchId, '_');
  return separator == nullptr ? "" : separator + 1;
}

// A window's virtual desktops (a variant of "as"): none when it is on all of them. Hidden when
// the current one is not among them.
bool readDesktops(sd_bus_message* m, const std::string& current, bool& hidden) {
  if (sd_bus_message_enter_container(m, 'v', "as") < 0 ||
      sd_bus_message_enter_container(m, 'a', "s") < 0) {
    return false;
  }
  bool any = false;
  bool here = false;
  const char* id = nullptr;
  while (sd_bus_message_read(m, "s", &id) > 0) {
    any = true;
    here = here || current == id;
  }
  hidden = hidden || (any && !here);
  return sd_bus_message_exit_container(m) >= 0 && sd_bus_message_exit_container(m) >= 0;
}

// One entry's value of a window's info (a{sv}); false when the reply is malformed. A minimized
// window and the desktop's own (below every other) hide nothing.
bool readInfoEntry(sd_bus_message* m, const std::string& desktop, double (&frame)[4],
                   std::string& caption, bool& hidden) {
  static constexpr const char* kFrame[4] = {"x", "y", "width", "height"};
  const char* name = nullptr;
  if (sd_bus_message_read(m, "s", &name) < 0) return false;
  const auto at = std::find_if(std::begin(kFrame), std::end(kFrame),
                               [&](const char* key) { return std::strcmp(key, name) == 0; });
  if (at != std::end(kFrame)) return sd_bus_message_read(m, "v", "d", &frame[at - kFrame]) >= 0;
  if (std::strcmp(name, "caption") == 0) {
    const char* text = nullptr;
    if (sd_bus_message_read(m, "v", "s", &text) < 0) return false;
    caption = text;
    return true;
  }
  if (std::strcmp(name, "minimized") == 0) {
    int value = 0;
    if (sd_bus_message_read(m, "v", "b", &value) < 0) return false;
    hidden = hidden || value != 0;
    return true;
  }
  if (std::strcmp(name, "desktops") == 0) return readDesktops(m, desktop, hidden);
  if (std::strcmp(name, "type") == 0) {
    std::int32_t type = 0;
    if (sd_bus_message_read(m, "v", "i", &type) < 0) return false;
    hidden = hidden || type == kDesktopType;
    return true;
  }
  return sd_bus_message_skip(m, "v") >= 0;
}

// Calls KWin's method with its one string argument, waiting at most the timeout.
bool callKwin(sd_bus* bus, Call& call, const char* path, const char* interface, const char* member,
              const char* argument, std::uint64_t timeout) {
  sd_bus_message* request = nullptr;
  if (sd_bus_message_new_method_call(bus, &request, kService, path, interface, member) < 0) {
    return false;
  }
  call.ok = sd_bus_message_append(request, "s", argument) >= 0 &&
            sd_bus_call(bus, request, timeout, &call.error, &call.reply) >= 0;
  sd_bus_message_unref(request);
  return call.ok;
}

}  // namespace

KwinWindows::~KwinWindows() {
  sd_bus_flush_close_unref(bus_);
}

std::optional<std::vector<std::string>> KwinWindows::windowIds() {
  Call call;
  if (!callKwin(bus_, call, "/WindowsRunner", "org.kde.krunner1", "Match", "",
                kCallTimeoutMicros) ||
      sd_bus_message_enter_container(call.reply, 'a', "(sssida{sv})") < 0) {
    return std::nullopt;
  }
  std::vector<std::string> ids;
  while (sd_bus_message_enter_container(call.reply, 'r', "sssida{sv}") > 0) {
    const char* match = nullptr;
    if (sd_bus_message_read(call.reply, "s", &match) < 0 ||
        sd_bus_message_skip(call.reply, "ssida{sv}") < 0) {
      return std::nullopt;
    }
    sd_bus_message_exit_container(call.reply);
    std::string id = windowIdOf(match);
    if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
  return ids;
}

std::optional<std::string> KwinWindows::currentDesktop() {
  Call call;
  call.ok = sd_bus_get_property(bus_, kService, "/VirtualDesktopManager",
                                "org.kde.KWin.VirtualDesktopManager", "current", &call.error,
                                &call.reply, "s") >= 0;
  const char* id = nullptr;
  if (!call.ok || sd_bus_message_read(call.reply, "s", &id) < 0) return std::nullopt;
  return std::string(id);
}

std::optional<KwinWindow> KwinWindows::window(const std::string& id, const std::string& desktop,
                                              bool& failed) {
  Call call;
  callKwin(bus_, call, "/KWin", "org.kde.KWin", "getWindowInfo", id.c_str(), kCallTimeoutMicros);
  if (!call.ok || sd_bus_message_enter_container(call.reply, 'a', "{sv}") < 0) {
    failed = !call.ok;
    return std::nullopt;
  }
  double frame[4] = {-1, -1, -1, -1};
  std::string caption;
  bool hidden = false;
  while (sd_bus_message_enter_container(call.reply, 'e', "sv") > 0) {
    if (!readInfoEntry(call.reply, desktop, frame, caption, hidden)) {
      failed = true;
      return std::nullopt;
    }
    sd_bus_message_exit_container(call.reply);
  }
  // A window gone meanwhile is answered with an empty dictionary.
  if (hidden || frame[2] < 0 || frame[3] < 0) return std::nullopt;
  return KwinWindow{makeRect(frame[0], frame[1], frame[2], frame[3]), caption};
}

std::optional<std::vector<KwinWindow>> KwinWindows::windows() {
  if (bus_ == nullptr) {
    if (sd_bus_open_user(&bus_) < 0) {
      bus_ = nullptr;
      return std::nullopt;
    }
    sd_bus_set_method_call_timeout(bus_, kCallTimeoutMicros);
  }
  auto ids = windowIds();
  auto desktop = ids ? currentDesktop() : std::nullopt;
  if (!ids || !desktop) {
    // A connection that broke is made anew at the next call.
    sd_bus_flush_close_unref(bus_);
    bus_ = nullptr;
    return std::nullopt;
  }
  std::vector<KwinWindow> windows;
  for (const std::string& id : *ids) {
    bool failed = false;
    auto window = this->window(id, *desktop, failed);
    if (failed) return std::nullopt;
    if (window) windows.push_back(std::move(*window));
  }
  return windows;
}

}  // namespace virelo::kde
