// The backend a session runs when asked for "auto", from what this user can reach now.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace virelo::session {

// No backend can work; the message gives the reason and points to `virelo doctor`.
class NoBackend : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct BackendProbes {
  // Whether /dev/uhid opens read-write for this user (the virtual devices of "corehid").
  std::function<bool()> uhidWritable;
  // Why $DISPLAY cannot take window-server events ("cgevent"), or nullopt when it answers with
  // XTEST.
  std::function<std::optional<std::string>()> displayProblem;
};

// "corehid" or "cgevent" for the host ("sim", "uhid", "linux", "gnome", "kde", "wlroots") and the
// requested backend ("corehid", "cgevent", "auto"). An explicit backend is taken as it is (the
// service itself says when it cannot deliver). "auto" on the simulated host is "corehid"; on a
// compositor's host ("gnome", "kde", "wlroots") "cgevent", the compositor's own input, which
// reaches every application and places the pointer; on "uhid" it needs /dev/uhid; on "linux" it
// is "corehid" when /dev/uhid opens, else "cgevent" when the display answers with XTEST. Throws
// NoBackend.
std::string chooseBackend(const std::string& host, const std::string& requested,
                          const BackendProbes& probes);

}  // namespace virelo::session
