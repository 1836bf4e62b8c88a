// An independent X client that looks at the X server's own state, to check what the service left
// there: which keys and buttons the server holds down, where the pointer is, and the XKB key
// repeat settings.
//
// Threads: one thread uses an object.
#pragma once

#include <string>
#include <vector>

struct xcb_connection_t;

namespace virelo::test {

struct PointerState {
  int x = 0;
  int y = 0;
  unsigned buttons = 0;  // bit 0 for button 1 ... bit 4 for button 5
};

struct RepeatSettings {
  int delayMs = 0;
  int intervalMs = 0;
};

class XProbe {
 public:
  // Connects to the display; throws std::runtime_error when it cannot.
  explicit XProbe(const std::string& display);
  ~XProbe();
  XProbe(const XProbe&) = delete;
  XProbe& operator=(const XProbe&) = delete;

  // The X key codes the server holds down (QueryKeymap).
  std::vector<int> heldKeys();
  PointerState pointer();
  RepeatSettings repeat();

 private:
  xcb_connection_t* connection_ = nullptr;
};

}  // namespace virelo::test
