// virelo-echo-baseline --socket <path> --backend <ignored>
// Started by the benchmark suite the way the service is started; writes {"type":"ready"} when it
// listens and serves until standard input ends. VL_SIM_TRACE names its tick trace, as for the
// service.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/echo_server.h"

int main(int argc, char** argv) {
  if (argc != 5 || std::strcmp(argv[1], "--socket") != 0) return 2;
  ::signal(SIGPIPE, SIG_IGN);
  const char* trace = std::getenv("VL_SIM_TRACE");
  virelo::bench::EchoServer server(argv[2], trace ? trace : "");
  static const char ready[] = "{\"type\":\"ready\"}\n";
  if (::write(1, ready, sizeof(ready) - 1) < 0) return 1;
  server.run();
  return 0;
}
