// The wlroots host of the statically linked service, which cannot link the Wayland client
// library (it exists only as a shared library): none, so that the name is refused at start as
// one the build left out.
#include "platform/hosts/host_factories.h"

namespace virelo::hosts {

std::unique_ptr<Host> makeWlrootsHost() {
  return nullptr;
}

}  // namespace virelo::hosts
