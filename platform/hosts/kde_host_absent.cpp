// The KDE host of the statically linked service, which cannot link the compositor's shared
// library: none, so that the name is refused at start as in builds without the host.
#include "platform/hosts/host_factories.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeKdeHost() {
  return nullptr;
}

}  // namespace virelo::hosts
