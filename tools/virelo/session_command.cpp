#include "tools/virelo/session_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "session/host_choice.h"
#include "session/session_run.h"
#include "tools/common/service_binary.h"
#include "tools/virelo/display_probe.h"

namespace virelo::tools {
namespace {

session::SessionOptions sessionOptions(const ToolArguments& args) {
  session::SessionOptions options;
  options.host = args.host;
  options.backend = args.backend;
  options.service = args.service.value_or(serviceBinary());
  options.probes = {[] {
                      int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
                      if (fd < 0) return false;
                      ::close(fd);  // opening alone creates no device
                      return true;
                    },
                    [] { return probeDisplay(std::getenv("DISPLAY")).problem(); }};
  options.busHasOwner = session::sessionBusHasOwner;
  return options;
}

}  // namespace

int runSession(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("\"session\" takes no arguments");
  try {
    return session::runSession(sessionOptions(args));
  } catch (const session::InvalidOption& e) {
    throw UsageError(e.what());
  }
}

session::SessionSettings sessionSettings(const ToolArguments& args) {
  try {
    return session::sessionSettings(sessionOptions(args), std::getenv);
  } catch (const session::InvalidOption& e) {
    throw UsageError(e.what());
  }
}

}  // namespace virelo::tools
