// The GNOME host of the statically linked service, which cannot link libsystemd: none, so that
// the name is refused as one the build lacks.
#include "platform/hosts/host_factories.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeGnomeHost() {
  return nullptr;
}

}  // namespace virelo::hosts
