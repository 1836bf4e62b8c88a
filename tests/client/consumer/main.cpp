// Uses the installed headers and library: maps a text and a chord, sees the typed error of a
// connection to a socket that does not exist, and reads a protocol constant.
#include <virelo/client/chord.h>
#include <virelo/client/client.h>
#include <virelo/client/connection_lost.h>
#include <virelo/client/keyboard_layout.h>
#include <virelo/protocol/limits.h>

#include <iostream>

int main() {
  using namespace virelo::client;
  if (KeyboardLayout::us().keystrokes("Hi!").size() != 3) return 1;
  if (parseChord("ctrl+a").keys.count(4) != 1) return 2;
  if (virelo::protocol::kMaxKeys != 32) return 4;
  try {
    Client client("/nonexistent/virelo.sock");
    return 3;
  } catch (const ConnectionLost& e) {
    std::cout << "consumer ok: " << e.what() << "\n";
  }
  return 0;
}
