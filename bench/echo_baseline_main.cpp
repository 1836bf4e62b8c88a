// virelo-echo-baseline --socket <path> --backend <reports, reports-handoff or anything else>
// Started by the benchmark suite the way the service is started; writes {"type":"ready"} when it
// listens and serves until standard input ends. VL_SIM_TRACE names its tick trace, as for the
// service. With "--backend reports" it polls standard input and every client twice before each
// echo, as the service does before the two reports of a keyboard command; with
// "--backend reports-handoff" it also hands each line to a second thread and back, as the
// simulated window server hands each posted event to the service's tap; otherwise it only
// echoes.
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
  const bool handOff = std::strcmp(argv[4], "reports-handoff") == 0;
  const int reportPolls = handOff || std::strcmp(argv[4], "reports") == 0 ? 2 : 0;
  virelo::bench::EchoServer server(argv[2], trace ? trace : "", {}, reportPolls, handOff);
  static const char ready[] = "{\"type\":\"ready\"}\n";
  if (::write(1, ready, sizeof(ready) - 1) < 0) return 1;
  server.run();
  return 0;
}
