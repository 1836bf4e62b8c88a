// A session of mutter's remote desktop service (org.gnome.Mutter.RemoteDesktop on the session
// bus), which gives any process of the user a virtual keyboard and pointer on the seat. The
// session belongs to the bus connection that created it and ends with it, so each object holds a
// connection of its own for its whole life: closing it releases whatever the session still held.
//
// Absolute placement needs a screen cast stream of a monitor linked to the session
// (org.gnome.Mutter.ScreenCast, which needs a running PipeWire); without one the session still
// types, clicks, scrolls and moves the pointer by distances. Notifications are sent without
// waiting for replies, in order, on the one connection.
//
// Threads: one thread at a time (sd-bus connections are not thread-safe).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/gnome/gnome_remote_input.h"

struct sd_bus;
struct sd_bus_slot;

namespace virelo::gnome {

class RemoteDesktop final : public RemoteInput {
 public:
  // Connects to the session bus ($DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus), creates
  // and starts a session (with a stream of the primary monitor when PipeWire runs) and makes the
  // seat's new virtual keyboard ready, which drops what is typed before it is (a throw-away tap
  // of a modifier and 100 ms). nullptr when there is no bus or no remote desktop service on it,
  // or when it refuses.
  static std::unique_ptr<RemoteDesktop> open();
  ~RemoteDesktop() override;
  RemoteDesktop(const RemoteDesktop&) = delete;
  RemoteDesktop& operator=(const RemoteDesktop&) = delete;

  // Handles what arrived on the connection; false once the session closed, the service left
  // the bus or the connection broke.
  bool alive();
  // The area of the desk that the stream shows (where moveTo() places the pointer); nullopt
  // without a stream.
  std::optional<Rect> streamArea() const { return area_; }

  void key(std::uint32_t evdev, bool down) override;
  void button(std::int32_t evdev, bool down) override;
  void moveBy(double dx, double dy) override;
  bool moveTo(Point point) override;
  void scroll(std::int32_t steps) override;

 private:
  RemoteDesktop(sd_bus* bus, std::string session);
  // The steps of open(): the stream linked to the session, the start, the keyboard made ready.
  bool addStream();
  bool start();
  void readyKeyboard();
  void watchEnd();
  // A round trip to the service: what was sent before has arrived.
  void ping();
  // Sends a notification of the session's interface without waiting for a reply.
  template <typename... Args>
  void notify(const char* member, const char* types, Args... args);

  sd_bus* bus_;
  const std::string session_;
  std::string screenCast_;
  std::string stream_;
  std::optional<Rect> area_;
  sd_bus_slot* closedSlot_ = nullptr;
  sd_bus_slot* ownerSlot_ = nullptr;
  bool ended_ = false;
};

}  // namespace virelo::gnome
