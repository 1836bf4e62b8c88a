// An independent XInput 2 listener: every raw key press and release that reaches the X server
// from any device, whichever window has the focus (as a hot-key daemon or a media player sees the
// media keys), with the time it was read.
//
// Threads: one thread uses an object.
#pragma once

#include <chrono>
#include <optional>
#include <string>

struct xcb_connection_t;

namespace virelo::test {

using namespace std::chrono_literals;

struct RawKey {
  int keycode = 0;  // the X key code (evdev code + 8)
  bool press = false;
  std::chrono::steady_clock::time_point seenAt;
};

class RawKeyListener {
 public:
  // Connects and selects the raw key events on the root window; throws std::runtime_error when
  // the display or XInput 2 is missing.
  explicit RawKeyListener(const std::string& display);
  ~RawKeyListener();
  RawKeyListener(const RawKeyListener&) = delete;
  RawKeyListener& operator=(const RawKeyListener&) = delete;

  // The next raw key event, or nullopt when none arrives within the timeout.
  std::optional<RawKey> next(std::chrono::milliseconds timeout = 5s);

 private:
  std::optional<RawKey> decode(void* event) const;

  xcb_connection_t* connection_ = nullptr;
  std::uint8_t xinputOpcode_ = 0;
};

}  // namespace virelo::test
