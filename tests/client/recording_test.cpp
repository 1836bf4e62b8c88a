// What "virelo record" writes for what the X server saw, as a table of event sequences and
// scripts; and that a recorded script reads back as a virelo run script.
#include <gtest/gtest.h>

#include <sstream>

#include "virelo/client/layouts.h"
#include "virelo/client/script.h"

namespace virelo::client {
namespace {

using Kind = RecordedEvent::Kind;

RecordedEvent key(bool press, int evdev, std::uint32_t ms) {
  return {press ? Kind::keyPress : Kind::keyRelease, ms, evdev + 8};
}
RecordedEvent button(bool press, int number, std::uint32_t ms) {
  return {press ? Kind::buttonPress : Kind::buttonRelease, ms, number};
}
RecordedEvent pointer(int x, int y, std::uint32_t ms) {
  return {Kind::pointerAt, ms, 0, x, y};
}

struct Case {
  const char* what;
  std::vector<RecordedEvent> events;
  std::string script;
};

TEST(Recording, EventsBecomeScriptLines) {
  const std::vector<Case> cases = {
      {"a shifted key, with the time between",
       {key(true, 42, 100), key(true, 30, 150), key(false, 30, 170), key(false, 42, 180)},
       "layout us\nkeydown shift\nsleep 50\nkeydown a\nsleep 20\nkeyup a\nsleep 10\n"
       "keyup shift\n"},
      {"keys without a name, modifiers on the right",
       {key(true, 96, 0), key(false, 96, 0), key(true, 100, 5), key(false, 100, 5)},
       "layout us\nkeydown 0x58\nkeyup 0x58\nsleep 5\nkeydown right-alt\nkeyup right-alt\n"},
      {"media keys on their press",
       {key(true, 115, 0), key(false, 115, 1), key(true, 164, 2), key(false, 164, 3)},
       "layout us\nmedia volume-up\nsleep 2\nmedia play-pause\n"},
      {"buttons and wheel steps; the horizontal wheel left out",
       {button(true, 1, 0), button(false, 1, 0), button(true, 4, 0), button(false, 4, 0),
        button(true, 5, 0), button(true, 6, 0), button(true, 3, 0), button(false, 3, 0)},
       "layout us\nbuttondown left\nbuttonup left\nwheel 1\nwheel -1\nbuttondown right\n"
       "buttonup right\n"},
      {"motion gathered over 10 ms, and before the next other event",
       {pointer(101, 100, 0), pointer(105, 98, 4), pointer(110, 90, 12), pointer(111, 90, 13),
        button(true, 1, 14), button(false, 1, 14)},
       "layout us\nmousemove_relative 5 -2\nsleep 9\nmousemove_relative 6 -8\n"
       "sleep 1\nbuttondown left\nbuttonup left\n"},
      {"moves left out of the recording are not replayed",
       {pointer(110, 100, 0),
        {Kind::pointerMovedElsewhere, 20, 0, 300, 300},
        pointer(301, 302, 40)},
       "layout us\nmousemove_relative 10 0\nsleep 40\nmousemove_relative 1 2\n"},
      {"what is still down at the end left out, with the sleeps before it",
       {key(true, 30, 0), key(false, 30, 1), key(true, 29, 50), key(true, 46, 60)},
       "layout us\nkeydown a\nsleep 1\nkeyup a\n"},
      {"repeats and releases of keys down before the recording left out",
       {key(false, 28, 0), key(true, 30, 10), key(true, 30, 40), key(false, 30, 50)},
       "layout us\nkeydown a\nsleep 40\nkeyup a\n"},
      {"an hour at most in one sleep line",
       {key(true, 30, 0), key(false, 30, 4'000'000)},
       "layout us\nkeydown a\nsleep 3600000\nsleep 400000\nkeyup a\n"},
  };
  for (const Case& c : cases) {
    ScriptRecorder recorder(100, 100);
    for (const RecordedEvent& event : c.events) recorder.add(event);
    const std::string script = recorder.finish();
    EXPECT_EQ(script, c.script) << c.what;
    std::istringstream in(script);
    EXPECT_NO_THROW(parseScript(in, client::KeyboardLayout::named(client::parseLayoutName("us"))))
        << c.what;
  }
}

}  // namespace
}  // namespace virelo::client
