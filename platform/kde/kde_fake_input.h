// A connection to KWin on Wayland through its fake-input protocol (org_kde_kwin_fake_input,
// version 4 for keys), and the compositor's outputs. KWin offers fake input only to a program whose
// desktop file names its executable (X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input); to any
// other the global is not even listed, and open() gives nullptr. The connection authenticates
// before anything is sent, so that no first key is lost.
//
// Opening waits at most kOpenWait for the compositor (KWin looks the program's desktop file up
// before it lists its globals, which takes it a second or two on a busy machine); a compositor that
// has not answered by then counts as gone. Requests are buffered until flush(); a broken
// connection drops them.
//
// Threads: one thread at a time (the window server's mutex).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace virelo::kde {

class FakeInput {
 public:
  static constexpr std::chrono::milliseconds kOpenWait{5000};

  // `display` as in $WAYLAND_DISPLAY (empty: libwayland's default). nullptr when the compositor
  // cannot be reached, does not answer in time or does not offer fake input to this program.
  static std::unique_ptr<FakeInput> open(const std::string& display);
  ~FakeInput();
  FakeInput(const FakeInput&) = delete;
  FakeInput& operator=(const FakeInput&) = delete;

  // An evdev key or button code pressed or released.
  void key(std::uint16_t code, bool pressed);
  void button(std::uint16_t code, bool pressed);
  // The pointer to a place in the compositor's logical coordinates.
  void moveTo(Point place);
  // One scroll on the vertical axis, in the compositor's units (positive: down; 15 a wheel click).
  void scroll(double value);

  // Sends what was asked for; false when the connection broke.
  bool flush();
  // Reads what the compositor sent meanwhile, without waiting; false when the connection broke.
  bool alive();
  // The outputs' rectangles in logical coordinates, in the order the compositor listed them.
  std::vector<Rect> outputs() const;

  // What the connection holds (kde_fake_input.cpp).
  struct State;

 private:
  explicit FakeInput(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace virelo::kde
