// The module of the Linux desktop's accessibility services (virelo-linux-accessibility.so),
// opened by the service only when the Linux host is chosen and by the client library for the
// controls by name. Its one exported symbol gives the table of accessibility_module.h; everything
// else, the static libraries it is linked from included, stays hidden inside it.
#include "targets/module/module_parts.h"

#ifndef VIRELO_RELEASE
#error "VIRELO_RELEASE must name the release"
#endif

namespace {

const virelo_accessibility_module_v2 kTable = {
    VIRELO_ACCESSIBILITY_MODULE_VERSION,
    sizeof(virelo_accessibility_module_v2),
    VIRELO_RELEASE,
    virelo::module::controlsOpen,
    virelo::module::controlsClose,
    virelo::module::controlsReach,
    virelo::module::controlsFind,
    virelo::module::controlsRoleNames,
    virelo::module::controlsAct,
    virelo::module::findTargets,
    virelo::module::servicesOpen,
    virelo::module::servicesClose,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* virelo_accessibility_module(
    uint32_t wantedVersion) noexcept {
  return wantedVersion == VIRELO_ACCESSIBILITY_MODULE_VERSION ? &kTable : nullptr;
}
