#include "session/backend_choice.h"

namespace virelo::session {

std::string chooseBackend(const std::string& host, const std::string& requested,
                          const BackendProbes& probes) {
  if (requested != "auto") return requested;
  if (host == "sim") return "corehid";
  // A compositor's host posts through the compositor itself, which every application of the
  // session hears and which needs no device access.
  if (host == "gnome" || host == "kde" || host == "wlroots") return "cgevent";
  if (probes.uhidWritable()) return "corehid";
  const std::string uhid = "/dev/uhid does not open read-write for this user";
  if (host == "uhid") throw NoBackend(uhid + "; run `virelo doctor`");
  auto problem = probes.displayProblem();
  if (!problem) return "cgevent";
  throw NoBackend("no backend can work: " + uhid + ", and " + *problem + "; run `virelo doctor`");
}

}  // namespace virelo::session
