#include "platform/gnome/gnome_remote_desktop.h"

#include <linux/input-event-codes.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

namespace virelo::gnome {
namespace {

constexpr const char* kService = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kPath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* kSessionInterface = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* kScreenCast = "org.gnome.Mutter.ScreenCast";
constexpr const char* kScreenCastPath = "/org/gnome/Mutter/ScreenCast";
// Every call that waits for its reply waits at most this long.
constexpr std::uint64_t kCallTimeoutMicros = 1'000'000;
// How long the seat takes to use the session's new virtual keyboard.
constexpr std::chrono::milliseconds kKeyboardSettle{100};
constexpr std::uint32_t kVerticalAxis = 0;

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

// The object path a call answered with; empty when it failed.
std::string readPath(Call& call) {
  const char* path = nullptr;
  if (!call.ok || sd_bus_message_read(call.reply, "o", &path) < 0) return "";
  return path;
}

// The "position" and "size" of a stream's parameters (a{sv}); nullopt when either is missing.
std::optional<Rect> readArea(sd_bus_message* m) {
  std::optional<Point> position;
  std::optional<Size> size;
  if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return std::nullopt;
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* name = nullptr;
    if (sd_bus_message_read(m, "s", &name) < 0) return std::nullopt;
    const std::string key = name;
    int a = 0;
    int b = 0;
    if ((key == "position" || key == "size") && sd_bus_message_read(m, "v", "(ii)", &a, &b) >= 0) {
      if (key == "position") position = Point{double(a), double(b)};
      if (key == "size") size = Size{double(a), double(b)};
    } else if (sd_bus_message_skip(m, "v") < 0) {
      return std::nullopt;
    }
    sd_bus_message_exit_container(m);
  }
  if (!position || !size) return std::nullopt;
  return Rect{*position, *size};
}

int onEnd(sd_bus_message*, void* userdata, sd_bus_error*) {
  *static_cast<bool*>(userdata) = true;
  return 0;
}

}  // namespace

RemoteDesktop::RemoteDesktop(sd_bus* bus, std::string session)
    : bus_(bus), session_(std::move(session)) {}

RemoteDesktop::~RemoteDesktop() {
  sd_bus_slot_unref(closedSlot_);
  sd_bus_slot_unref(ownerSlot_);
  sd_bus_flush_close_unref(bus_);
}

std::unique_ptr<RemoteDesktop> RemoteDesktop::open() {
  for (const bool withStream : {true, false}) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    sd_bus_set_method_call_timeout(bus, kCallTimeoutMicros);
    Call call;
    call.ok = sd_bus_call_method(bus, kService, kPath, "org.gnome.Mutter.RemoteDesktop",
                                 "CreateSession", &call.error, &call.reply, "") >= 0;
    std::string session = readPath(call);
    if (session.empty()) {
      sd_bus_flush_close_unref(bus);
      return nullptr;
    }
    std::unique_ptr<RemoteDesktop> desktop(new RemoteDesktop(bus, std::move(session)));
    // Without PipeWire the stream (or the start with it) fails: a session of its own without.
    if (withStream && !desktop->addStream()) continue;
    if (!desktop->start()) continue;
    desktop->watchEnd();
    desktop->readyKeyboard();
    return desktop;
  }
  return nullptr;
}

bool RemoteDesktop::addStream() {
  sd_bus_error error{};  // SD_BUS_ERROR_NULL, whose compound literal is C only
  char* id = nullptr;
  const bool named = sd_bus_get_property_string(bus_, kService, session_.c_str(), kSessionInterface,
                                                "SessionId", &error, &id) >= 0;
  sd_bus_error_free(&error);
  if (!named) return false;
  Call cast;
  cast.ok = sd_bus_call_method(bus_, kScreenCast, kScreenCastPath, kScreenCast, "CreateSession",
                               &cast.error, &cast.reply, "a{sv}", 1, "remote-desktop-session-id",
                               "s", id) >= 0;
  free(id);
  screenCast_ = readPath(cast);
  if (screenCast_.empty()) return false;
  // The primary monitor (an empty connector), without the cursor in the picture.
  Call record;
  record.ok = sd_bus_call_method(bus_, kScreenCast, screenCast_.c_str(),
                                 "org.gnome.Mutter.ScreenCast.Session", "RecordMonitor",
                                 &record.error, &record.reply, "sa{sv}", "", 0) >= 0;
  stream_ = readPath(record);
  return !stream_.empty();
}

bool RemoteDesktop::start() {
  Call call;
  call.ok = sd_bus_call_method(bus_, kService, session_.c_str(), kSessionInterface, "Start",
                               &call.error, &call.reply, "") >= 0;
  if (!call.ok || stream_.empty()) return call.ok;
  Call parameters;
  parameters.ok =
      sd_bus_get_property(bus_, kScreenCast, stream_.c_str(), "org.gnome.Mutter.ScreenCast.Stream",
                          "Parameters", &parameters.error, &parameters.reply, "a{sv}") >= 0;
  if (parameters.ok) area_ = readArea(parameters.reply);
  // A stream whose place on the desk is unknown cannot place the pointer.
  if (!area_) stream_.clear();
  return true;
}

void RemoteDesktop::watchEnd() {
  // The session's end, and the service leaving the bus (the compositor ended).
  const char* owner = nullptr;
  Call call;
  call.ok = sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetNameOwner", &call.error, &call.reply,
                               "s", kService) >= 0;
  if (call.ok && sd_bus_message_read(call.reply, "s", &owner) >= 0) {
    sd_bus_match_signal(bus_, &closedSlot_, owner, session_.c_str(), kSessionInterface, "Closed",
                        onEnd, &ended_);
  }
  const std::string rule =
      std::string(
          "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
          "member='NameOwnerChanged',arg0='") +
      kService + "'";
  sd_bus_add_match(bus_, &ownerSlot_, rule.c_str(), onEnd, &ended_);
}

void RemoteDesktop::readyKeyboard() {
  key(KEY_LEFTSHIFT, true);
  key(KEY_LEFTSHIFT, false);
  ping();
  std::this_thread::sleep_for(kKeyboardSettle);
}

void RemoteDesktop::ping() {
  Call call;
  call.ok = sd_bus_call_method(bus_, kService, kPath, "org.freedesktop.DBus.Peer", "Ping",
                               &call.error, &call.reply, "") >= 0;
}

bool RemoteDesktop::alive() {
  while (sd_bus_process(bus_, nullptr) > 0) {
  }
  return !ended_ && sd_bus_is_open(bus_) > 0;
}

template <typename... Args>
void RemoteDesktop::notify(const char* member, const char* types, Args... args) {
  sd_bus_message* m = nullptr;
  if (sd_bus_message_new_method_call(bus_, &m, kService, session_.c_str(), kSessionInterface,
                                     member) >= 0 &&
      sd_bus_message_append(m, types, args...) >= 0 && sd_bus_message_set_expect_reply(m, 0) >= 0) {
    sd_bus_send(bus_, m, nullptr);
    sd_bus_flush(bus_);
  }
  sd_bus_message_unref(m);
}

void RemoteDesktop::key(std::uint32_t evdev, bool down) {
  notify("NotifyKeyboardKeycode", "ub", evdev, int{down});
}

void RemoteDesktop::button(std::int32_t evdev, bool down) {
  notify("NotifyPointerButton", "ib", evdev, int{down});
}

void RemoteDesktop::moveBy(double dx, double dy) {
  notify("NotifyPointerMotionRelative", "dd", dx, dy);
}

bool RemoteDesktop::moveTo(Point point) {
  if (!area_ || !area_->contains(point)) return false;
  notify("NotifyPointerMotionAbsolute", "sdd", stream_.c_str(), point.x - area_->minX(),
         point.y - area_->minY());
  return true;
}

void RemoteDesktop::scroll(std::int32_t steps) {
  // The compositor counts steps towards the user (down) as positive.
  notify("NotifyPointerAxisDiscrete", "ui", kVerticalAxis, -steps);
}

}  // namespace virelo::gnome
