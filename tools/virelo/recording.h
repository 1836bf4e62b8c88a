// What "virelo record" turns the recorded input into: a virelo run script (script.h). Events go
// in as the X server saw them, in order, each with the server's time; the script comes out with
// "sleep" lines for the time between them, keys by their position names on the US layout (the
// script begins with "layout us" so that a replay presses the same keys), modifiers by name, media
// keys as "media" lines, buttons 1 to 3, wheel steps, and pointer motion as relative moves from
// where the pointer was, gathered over a few milliseconds.
//
// Presses still unmatched when the recording ends (the Ctrl+C that stopped it, a button held) are
// left out, so that a replay does not leave them down; releases of what was down before the
// recording began, and auto-repeated presses, are left out too.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace virelo::tools {

struct RecordedEvent {
  enum class Kind {
    keyPress,
    keyRelease,
    buttonPress,
    buttonRelease,
    // The pointer moved and is now at (x, y).
    pointerAt,
    // Input left out of the recording moved the pointer to (x, y): later moves count from there.
    pointerMovedElsewhere,
  };
  Kind kind = Kind::keyPress;
  std::uint32_t timeMs = 0;  // the X server's time
  int code = 0;              // the X key code (evdev code + 8) or the X button number
  int x = 0;                 // pointerAt...: where the pointer is now, on the root window
  int y = 0;
};

class ScriptRecorder {
 public:
  // How long pointer motion is gathered into one move.
  static constexpr std::uint32_t kMotionWindowMs = 10;

  // The pointer's position when the recording begins.
  ScriptRecorder(int pointerX, int pointerY);

  void add(const RecordedEvent& event);
  // The whole script, ending with a newline.
  std::string finish();

 private:
  struct Line {
    std::string text;
    // For presses: the key or button whose release is still to come (-1 when matched or none).
    int pending = -1;
  };
  // Buttons are kept apart from key codes by this offset in `down_`.
  static constexpr int kButtonBase = 1000;

  void flushMotion();
  void emit(std::uint32_t timeMs, std::string text, int pending = -1);
  void press(std::uint32_t timeMs, int id, std::string text);
  void release(std::uint32_t timeMs, int id, std::string text);
  void addKey(const RecordedEvent& event);
  void addButton(const RecordedEvent& event);

  std::vector<Line> lines_;
  std::optional<std::uint32_t> lastTime_;
  // What is down, and the line that pressed it.
  std::map<int, std::size_t> down_;
  int x_;
  int y_;
  // Motion not yet written: the time of its first event and the latest position.
  std::optional<std::uint32_t> motionSince_;
  std::uint32_t motionTime_ = 0;
  int motionX_ = 0;
  int motionY_ = 0;
};

}  // namespace virelo::tools
