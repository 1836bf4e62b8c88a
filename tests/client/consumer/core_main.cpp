// Uses the installed core headers and library alone: parses a chord, and sees the typed error of
// a connection to a socket that does not exist.
#include <virelo/client/client.h>
#include <virelo/client/errors.h>
#include <virelo/client/keys.h>

#include <iostream>

int main() {
  using namespace virelo::client;
  if (parseChord("ctrl+a").keys.count(4) != 1) return 2;
  try {
    Client client("/nonexistent/virelo.sock");
    return 3;
  } catch (const ConnectionLost& e) {
    std::cout << "core consumer ok: " << e.what() << "\n";
  }
  return 0;
}
