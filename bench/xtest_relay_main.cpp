// virelo-xtest-relay --socket <path> --backend <ignored>
// The floor of the X11 round trip: the echo baseline's poll loop with a bare XTEST poster behind
// it, on the display named by $DISPLAY. Each line holding the F16 key's usage ([107]) posts an F16
// press, any other line a release, before the line is echoed. Started by the X11 benchmark the way
// the service is started, so that the two differ only in what the service does with a command.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/echo_server.h"
#include "bench/xtest_poster.h"

int main(int argc, char** argv) {
  if (argc != 5 || std::strcmp(argv[1], "--socket") != 0) return 2;
  ::signal(SIGPIPE, SIG_IGN);
  const char* display = std::getenv("DISPLAY");
  virelo::bench::XtestPoster poster(display ? display : "");
  constexpr int kF16Keycode = 194;  // evdev 186 + 8
  virelo::bench::EchoServer server(argv[2], "", [&](std::string_view line) {
    poster.key(kF16Keycode, line.find("[107]") != std::string_view::npos);
  });
  static const char ready[] = "{\"type\":\"ready\"}\n";
  if (::write(1, ready, sizeof(ready) - 1) < 0) return 1;
  server.run();
  return 0;
}
