// A virelo script: one action per line, read whole and checked before anything runs, so that a
// wrong line stops the script before it has sent a key.
//
//   type TEXT            keydown CHORD      click [BUTTON]        mousemove_relative DX DY
//   key CHORD...         keyup CHORD        buttondown BUTTON     wheel N
//   media KEY            sleep MS           buttonup BUTTON       layout NAME
//   typedelay MS         typehold MS        mousemove X Y
//   click-on CONTROL...  wait-for CONTROL...   (the options of "virelo click-on" and "wait-for")
//
// Words are split as a shell splits them (script_words.h); "#" begins a comment. Key names, text
// and layouts are checked against the layout in effect on each line.
#pragma once

#include <chrono>
#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/virelo/control_options.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"

namespace virelo::tools {

// A line that cannot run, named by its number ("line 3: unknown verb \"tpye\"").
class ScriptError : public std::runtime_error {
 public:
  ScriptError(int line, const std::string& message);
  int line() const { return line_; }

 private:
  int line_;
};

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
  std::string text;                   // type
  std::vector<client::Chord> chords;  // key (one or more), keydown and keyup (one)
  int button = 0;                     // click, buttondown, buttonup: the button bit
  int dx = 0;                         // mousemove_relative; mousemove: the position
  int dy = 0;
  int amount = 0;                     // wheel steps; media usage
  std::chrono::milliseconds time{0};  // sleep, typedelay, typehold
  ControlOptions control;             // click-on, wait-for
  // The layout in effect: the one "layout" sets, and the one "type" types with.
  std::shared_ptr<const client::KeyboardLayout> keyboardLayout;
};

// Reads and checks a whole script through the stream's buffer; `layout` is in effect until a
// "layout" line. Throws ScriptError for the first line that is wrong, that is longer than 64 KiB,
// or whose read fails (an exception from the buffer).
std::vector<ScriptAction> parseScript(std::istream& in,
                                      std::shared_ptr<const client::KeyboardLayout> layout);

}  // namespace virelo::tools
