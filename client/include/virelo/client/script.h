// Virelo scripts (the library Virelo::script, component Script): reading and checking a script,
// running it through one connection, and recording an X session's input as a script. The
// command line's "run" and "record" and the Python package's run_script() and record() are front
// ends over this part.
//
// A script holds one action per line, read whole and checked before anything runs, so that a
// wrong line stops the script before it has sent a key:
//
//   type TEXT            keydown CHORD      click [BUTTON]        mousemove_relative DX DY
//   key CHORD...         keyup CHORD        buttondown BUTTON     wheel N
//   media KEY            sleep MS           buttonup BUTTON       layout NAME
//   typedelay MS         typehold MS        mousemove X Y
//   click-on CONTROL...  wait-for CONTROL...   (the control words below)
//
// Words are split as a shell splits them (scriptWords()); "#" begins a comment. Key names, text
// and layouts are checked against the layout in effect on each line.
//
//   auto actions = virelo::client::parseScript(text, virelo::client::activeLayout(std::getenv));
//   virelo::client::runScript(client, actions);          // throws ScriptError naming the line
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "virelo/client/client.h"
#include "virelo/client/controls.h"
#include "virelo/client/errors.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"
#include "virelo/client/x11.h"

namespace virelo::client {

// A line that cannot run, named by its number ("line 3: unknown verb \"tpye\"").
class ScriptError : public Error {
 public:
  ScriptError(int line, const std::string& message);
  int line() const { return line_; }

 private:
  int line_;
};

// A line the word splitter cannot take (an open quote, a backslash at the end).
class ScriptSyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The words of one line, split as a shell splits a command line: blanks separate words; "..."
// keeps blanks and takes \" and \\ as escapes; '...' keeps everything as it stands; $'...' takes
// \n as a newline (Return, when typed), \t as a tab, and \\, \' and \" as escapes; outside quotes
// a backslash keeps the next character; quoted and unquoted parts that touch make one word; an
// unquoted word that starts with # begins a comment to the end of the line. None for a blank line
// or a comment. Throws ScriptSyntaxError.
std::vector<std::string> scriptWords(std::string_view line);

// The words that name a control ("--role push-button --name OK") and say how to act on it, as the
// command line's control verbs and the script lines "click-on" and "wait-for" take them.
struct ControlOptions {
  std::optional<std::string> role;
  // One of --name, --name-contains, --name-regex: the option and its text.
  std::optional<std::string> nameOption;
  std::string name;
  std::optional<std::string> application;
  bool all = false;
  // --in NAME: the whole name of an enclosing container.
  std::optional<std::string> container;
  // --nth N: the control at that place in reading order, from 1.
  std::optional<std::size_t> nth;
  // click-on: the button bit (--button), --double, --action [NAME] (`byAction`, and the action's
  // name when one was given); the verbs that take one control: --first.
  int button = 1;
  bool twice = false;
  bool byAction = false;
  std::optional<std::string> action;
  bool first = false;
  // wait-for: --gone, --timeout in seconds, and one of --text, --text-regex with its text.
  bool gone = false;
  std::optional<std::string> textOption;
  std::string text;
  double timeoutS = 10;
  // find --list-roles.
  bool listRoles = false;
  // Whether any of these options was given.
  bool given = false;
};

// A control word with a wrong value, or a wrong combination of words; the message says which.
class BadControlOption : public Error {
 public:
  using Error::Error;
};

// Takes `option` when it is one of the words above, reading its value with `value` (which throws
// when there is none); false for any other word. Throws BadControlOption for a bad value.
bool takeControlWord(const std::string& option, const std::function<std::string()>& value,
                     ControlOptions& options);

// Whether the word's value may be left out (--action): it is the next word unless that is an
// option or there is none, and `value` then returns "".
bool takesOptionalValue(const std::string& option);

// How click-on presses the control the words name.
ClickOptions clickOptionsOf(const ControlOptions& options);

// The query the words make; with `nameRequired`, one of the name words must be given. Throws
// BadControlOption.
ControlQuery controlQueryOf(const ControlOptions& options, bool nameRequired);

enum class ScriptVerb {
  type,
  key,
  keyDown,
  keyUp,
  click,
  buttonDown,
  buttonUp,
  moveRelative,
  moveAbsolute,
  wheel,
  media,
  sleep,
  typeDelay,
  typeHold,
  layout,
  clickOn,
  waitFor,
};

struct ScriptAction {
  int line = 0;
  ScriptVerb verb = ScriptVerb::sleep;
  std::string text;           // type
  std::vector<Chord> chords;  // key (one or more), keydown and keyup (one)
  int button = 0;             // click, buttondown, buttonup: the button bit
  int dx = 0;                 // mousemove_relative; mousemove: the position
  int dy = 0;
  int amount = 0;                     // wheel steps; media usage
  std::chrono::milliseconds time{0};  // sleep, typedelay, typehold
  ControlOptions control;             // click-on, wait-for
  // The layout in effect: the one "layout" sets, and the one "type" types with.
  std::shared_ptr<const KeyboardLayout> keyboardLayout;
  // key, keydown, keyup: for each chord, the keysym that no key of the layout gives ("Hyper_L",
  // "ctrl+XF86Calculator"), pressed or held through a borrowed key instead (its chord is then
  // empty). One keydown at a time holds such a keysym.
  std::vector<std::optional<KeysymChord>> keysyms;
};

// Reads and checks a whole script through the stream's buffer; `layout` is in effect until a
// "layout" line. A "type" line whose text the layout lacks is taken when an X server on $DISPLAY
// can lend keys for it, and a "key", "keydown" or "keyup" chord whose keysym no key of the layout
// gives ("Hyper_L") when there is a display to borrow a key on; a "keydown" of such a keysym while
// another one is held is wrong. Throws ScriptError for the first line that is wrong,
// that is longer than 64 KiB, or whose read fails (an exception from the buffer).
std::vector<ScriptAction> parseScript(std::istream& in,
                                      std::shared_ptr<const KeyboardLayout> layout);
// The same for a script held in memory.
std::vector<ScriptAction> parseScript(std::string_view text,
                                      std::shared_ptr<const KeyboardLayout> layout);

// Runs the checked actions in order through `client`: text with borrowed keys where the layout
// lacks a character (typeTextBorrowing), keysyms the layout lacks with a borrowed key
// (pressKeysymBorrowing, or holdKeysymBorrowing from "keydown" to "keyup"), absolute moves with
// moveTo() on the X server of the client's backend, controls on the desktop of the process's
// environment. Keys and buttons that "keydown" and "buttondown" hold stay held from line to line,
// and are released when the script ends or fails. Chords that need a borrowed key where the
// client's backend and the service's host lend none (borrowingDisplay()) refuse the script before
// anything runs, with a ScriptError naming the first such line. `interrupted`, called between lines
// and during sleeps and waits, may throw to end the script: what it holds is released, and the
// exception passes through as it is. Any other failure throws ScriptError naming the line.
void runScript(Client& client, const std::vector<ScriptAction>& actions,
               const std::function<void()>& interrupted = {});

// Recording. Events go in as the X server saw them, in order, each with the server's time; the
// script comes out with "sleep" lines for the time between them, keys by their position names on
// the US layout (the script begins with "layout us" so that a replay presses the same keys),
// modifiers by name, media keys as "media" lines, buttons 1 to 3, wheel steps, and pointer motion
// as relative moves from where the pointer was, gathered over a few milliseconds.
//
// Presses still unmatched when the recording ends (the Ctrl+C that stopped it, a button held) are
// left out, so that a replay does not leave them down; releases of what was down before the
// recording began, and auto-repeated presses, are left out too.
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

// The X session's input cannot be recorded: no X server answers, or it has no XInput 2, or this
// library was built without XInput; the message says which.
class RecordingUnavailable : public Error {
 public:
  using Error::Error;
};

struct RecordOptions {
  // Stop after this long; nullopt: only when `stopDescriptor` or `interrupted` ends it.
  std::optional<std::chrono::milliseconds> duration;
  // Keep the input that the service posts itself (the server's XTEST devices, the "cgevent"
  // backend's, and the service's own "Virelo ..." devices, the "corehid" backend's).
  bool includeOwn = false;
  // The recording ends when this descriptor becomes readable (a signalfd); -1 for none.
  int stopDescriptor = -1;
  // Called at least every 20 ms; returns true to end the recording, or throws to abandon it.
  std::function<bool()> interrupted;
  // Called once the recording has begun (the events are selected).
  std::function<void()> started;
};

struct Recording {
  // The whole script, ending with a newline.
  std::string script;
  // The X server went away before the end: the script holds what was recorded until then.
  bool serverGone = false;
};

// Records the keyboard, pointer, wheel and media input of the X server at `display` (XInput 2
// raw events on the root window) until the options end it, and returns it as a script. What
// arrived before the end belongs to the recording. Throws RecordingUnavailable.
Recording recordInput(const char* display, const RecordOptions& options);

}  // namespace virelo::client
