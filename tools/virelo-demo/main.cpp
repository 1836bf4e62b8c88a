// virelo-demo: starts the service on the simulated host (or posting to an X display), drives it
// with a short client session, stops it and shows what the host received.
#include <cstring>
#include <iostream>

#include "tools/common/service_binary.h"
#include "tools/virelo-demo/demo_session.h"
#include "tools/virelo-demo/trace_report.h"

int main(int argc, char** argv) {
  std::string servicePath = virelo::tools::serviceBinary();
  virelo::tools::DemoTarget target;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout
          << "Usage: virelo-demo [--service PATH] [--x11 DISPLAY [--snap-button X,Y,W,H]]\n"
             "Starts the Virelo service on the simulated host (as nobody when run as "
             "root), types, clicks,\nmoves, scrolls and presses a media key through the "
             "client library, stops the service in\norder and prints the input the host "
             "received.\nWith --x11 the service posts to that X display instead "
             "(VL_HOST=linux, backend "
             "\"cgevent\"),\nwhose applications say what they received (tools/demo --x11 "
             "shows a GTK application's log).\nWith --snap-button the session ends with a slow "
             "snapped move "
             "past that button\n(of an application on the accessibility bus) and prints where "
             "the cursor landed.\n";
      return 0;
    }
    if (std::strcmp(argv[i], "--service") == 0 && i + 1 < argc) {
      servicePath = argv[++i];
    } else if (std::strcmp(argv[i], "--x11") == 0 && i + 1 < argc) {
      target.display = argv[++i];
    } else if (std::strcmp(argv[i], "--snap-button") == 0 && i + 1 < argc) {
      target.snapButton = argv[++i];
    } else {
      std::cerr << "virelo-demo: unknown argument " << argv[i] << " (see --help)\n";
      return 2;
    }
  }
  try {
    auto result = virelo::tools::runDemoSession(servicePath, target, std::cout);
    if (target.x11()) {
      std::cout << "Service exit status " << result.exitStatus << ".\n";
      return result.exitStatus == 0 ? 0 : 1;
    }
    std::cout << "What reached the simulated host (time, device, state after the report;\n"
                 "reports that repeat the previous state are left out):\n";
    for (const auto& line : virelo::tools::describeTrace(result.trace)) {
      std::cout << line << "\n";
    }
    std::size_t reports = 0;
    for (const auto& event : result.trace) reports += event.value("event", "") == "hid_input";
    std::cout << "\n"
              << reports << " input reports in total; service exit status " << result.exitStatus
              << ".\n";
    return result.exitStatus == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "virelo-demo: " << e.what() << "\n";
    return 1;
  }
}
