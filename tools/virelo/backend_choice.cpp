#include "tools/virelo/backend_choice.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "tools/virelo/display_probe.h"

namespace virelo::tools {

std::string chooseBackend(const std::string& host, const std::string& requested,
                          const BackendProbes& probes) {
  if (requested != "auto") return requested;
  if (host == "sim") return "corehid";
  if (probes.uhidWritable()) return "corehid";
  const std::string uhid = "/dev/uhid does not open read-write for this user";
  if (host == "uhid") throw NoBackend(uhid + "; run `virelo doctor`");
  auto problem = probes.displayProblem();
  if (!problem) return "cgevent";
  throw NoBackend("no backend can work: " + uhid + ", and " + *problem + "; run `virelo doctor`");
}

BackendProbes systemProbes() {
  return {[] {
            int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
            if (fd < 0) return false;
            ::close(fd);  // opening alone creates no device
            return true;
          },
          [] { return probeDisplay(std::getenv("DISPLAY")).problem(); }};
}

}  // namespace virelo::tools
