// The bare poster on mutter: a remote desktop session of org.gnome.Mutter.RemoteDesktop on the
// session bus (CreateSession, then Start on the session, without a screen cast: keys need none),
// and one NotifyKeyboardKeycode call per key, sent without waiting for a reply and flushed at
// once. The compositor makes the session's virtual keyboard with the first key, so one shift
// press and release go first, and a call with a reply waits until the compositor has taken them.
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench/wayland_poster.h"

namespace virelo::bench {
namespace {

constexpr const char* kService = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kPath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* kSessionInterface = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr int kLeftShift = 42;

class GnomePoster : public BarePoster {
 public:
  GnomePoster();
  ~GnomePoster() override { sd_bus_flush_close_unref(bus_); }

  void key(int evdev, bool press) override;

 private:
  // Calls a method of the session without arguments and waits for its reply.
  void call(const char* path, const char* interface, const char* member, const char* what);

  sd_bus* bus_ = nullptr;
  std::string session_;
};

void GnomePoster::call(const char* path, const char* interface, const char* member,
                       const char* what) {
  sd_bus_error error{};
  sd_bus_message* reply = nullptr;
  const int r = sd_bus_call_method(bus_, kService, path, interface, member, &error, &reply, "");
  if (r >= 0 && std::string(member) == "CreateSession") {
    const char* session = nullptr;
    if (sd_bus_message_read(reply, "o", &session) >= 0) session_ = session;
  }
  const std::string message = error.message != nullptr ? error.message : "";
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  if (r < 0) throw std::runtime_error(std::string(what) + ": " + message);
}

GnomePoster::GnomePoster() {
  if (sd_bus_open_user(&bus_) < 0) throw std::runtime_error("no session bus");
  call(kPath, "org.gnome.Mutter.RemoteDesktop", "CreateSession", "no remote desktop session");
  call(session_.c_str(), kSessionInterface, "Start", "the remote desktop session did not start");
  key(kLeftShift, true);
  key(kLeftShift, false);
  call(kPath, "org.freedesktop.DBus.Peer", "Ping", "the compositor does not answer");
  // A moment for the seat to take the new keyboard, as the service's host allows too.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

void GnomePoster::key(int evdev, bool press) {
  sd_bus_message* m = nullptr;
  if (sd_bus_message_new_method_call(bus_, &m, kService, session_.c_str(), kSessionInterface,
                                     "NotifyKeyboardKeycode") < 0 ||
      sd_bus_message_append(m, "ub", static_cast<std::uint32_t>(evdev), int{press}) < 0 ||
      sd_bus_message_set_expect_reply(m, 0) < 0 || sd_bus_send(bus_, m, nullptr) < 0 ||
      sd_bus_flush(bus_) < 0) {
    sd_bus_message_unref(m);
    throw std::runtime_error("the key could not be sent");
  }
  sd_bus_message_unref(m);
}

}  // namespace

std::unique_ptr<BarePoster> openBarePoster() {
  return std::make_unique<GnomePoster>();
}

}  // namespace virelo::bench
