// Uses the installed headers and libraries of all five components: maps a text and a chord with
// a layout, asks for the pointer of an X server that is not there, sees the typed errors of a
// connection to a socket that does not exist and of a desktop without an X display, reads a
// script, and reads a protocol constant.
#include <virelo/client/client.h>
#include <virelo/client/controls.h>
#include <virelo/client/errors.h>
#include <virelo/client/keys.h>
#include <virelo/client/layouts.h>
#include <virelo/client/script.h>
#include <virelo/client/x11.h>
#include <virelo/protocol/limits.h>

#include <iostream>

int main() {
  using namespace virelo::client;
  if (KeyboardLayout::us().keystrokes("Hi!").size() != 3) return 1;
  if (parseChord("ctrl+a", KeyboardLayout::us()).keys.count(4) != 1) return 2;
  if (pointerPosition(":32767").has_value()) return 4;
  if (virelo::protocol::kMaxKeys != 32) return 5;
  if (!NameMatch::matching("O.")("OK")) return 6;
  if (parseScript("key ctrl+a\nsleep 1\n", KeyboardLayout::named(LayoutName{})).size() != 2) {
    return 8;
  }
  try {
    Desktop desktop([](const char*) -> const char* { return nullptr; });
    return 7;
  } catch (const ControlsUnavailable&) {
  }
  try {
    Client client("/nonexistent/virelo.sock");
    return 3;
  } catch (const ConnectionLost& e) {
    std::cout << "consumer ok: " << e.what() << "\n";
  }
  return 0;
}
