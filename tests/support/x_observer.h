// An independent X client of the tests: it reads the X server's state (keys down, pointer and
// buttons, XKB state and repeat settings), changes its settings, stands in for other clients (a
// second XTEST client, an XSETTINGS manager) and counts the events a window of its own receives.
// The tests use it to check what the service or the window server left in the server.
//
// Threads: one thread uses an object.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace virelo::test {

struct RepeatSettings {
  int delayMs = 0;
  int intervalMs = 0;
};

class XObserver {
 public:
  // Connects to the display; throws std::runtime_error when it cannot or the server has no XKB.
  explicit XObserver(const std::string& display);
  ~XObserver();
  XObserver(const XObserver&) = delete;
  XObserver& operator=(const XObserver&) = delete;

  bool keyDown(std::uint8_t keycode);
  // The X key codes the server holds down (QueryKeymap).
  std::vector<int> heldKeys();
  struct PointerState {
    int x = 0;
    int y = 0;
    std::uint16_t mask = 0;  // XCB_BUTTON_MASK_1 ... and the modifier masks
    unsigned buttons = 0;    // bit 0 for button 1 ... bit 4 for button 5
  };
  PointerState pointer();
  bool capsLocked();
  // The core keyboard's effective XKB modifiers (XCB_MOD_MASK_SHIFT ...).
  std::uint8_t modifiers();
  RepeatSettings repeat();

  // Sets the core keyboard's repeat delay and interval (milliseconds) and turns repeat on.
  void setKeyRepeat(std::uint16_t delayMs, std::uint16_t intervalMs);
  // Presses or releases a key through XTEST from this client (not the window server's poster).
  void fakeKey(std::uint8_t keycode, bool press);
  // Sets the pointer mapping: entry i the logical button of physical button i + 1 (buttons past
  // the list keep theirs).
  void setPointerMapping(const std::vector<std::uint8_t>& map);
  // Presses or releases a button through XTEST from this client.
  void fakeButton(std::uint8_t button, bool press);
  // Grabs the server (GrabServer): until ungrabServer(), it answers no other client.
  void grabServer();
  void ungrabServer();
  // Moves the pointer through XTEST to the position on the root window.
  void movePointer(int x, int y);
  // The X key codes / buttons (bit 0 for button 1) that the server's XTEST keyboard / pointer
  // device holds down (XInput's QueryDeviceState on the slave devices), not merged with the
  // other keyboards as the core keyboard's state is.
  std::vector<int> xtestKeysDown();
  unsigned xtestButtonsDown();
  // Becomes the screen's XSETTINGS manager with the one integer setting.
  void serveXSettings(const std::string& name, std::int32_t value);
  // Sets the X resources (RESOURCE_MANAGER of the root window), as xrdb does.
  void setResources(const std::string& text);

  // A window over the whole screen that has the focus and receives key and button presses.
  void openFocusedWindow();
  // Key presses / button presses (with that button number) that reached the window or the root
  // within `wait` of quiet.
  int countKeyPresses(std::chrono::milliseconds wait);
  // Presses of one key; the other events that arrived meanwhile are dropped.
  int countKeyPresses(std::uint8_t keycode, std::chrono::milliseconds wait);
  int countButtonPresses(std::uint8_t button, std::chrono::milliseconds wait);

 private:
  template <typename Match>
  int countEvents(Match match, std::chrono::milliseconds wait);

  xcb_connection_t* c_;
  xcb_window_t root_ = 0;
  xcb_window_t window_ = 0;
};

}  // namespace virelo::test
