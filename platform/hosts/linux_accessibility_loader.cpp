// The accessibility services of the Linux host, from the module that the one loader finds
// (virelo/protocol/accessibility_module_loader.h). The environment is read with secure_getenv:
// a service started with raised privileges never loads a module that its environment names. A
// module that cannot be used, or one of another release (whose C++ objects this build cannot
// share), leaves the host without services, as the service writes nothing to standard error.
#include <cstdlib>
#include <cstring>

#include "platform/hosts/linux_accessibility.h"
#include "virelo/protocol/accessibility_module_loader.h"

#ifndef VIRELO_RELEASE
#error "VIRELO_RELEASE must name the release"
#endif

namespace virelo::hosts {

std::shared_ptr<LinuxAccessibility> makeLinuxAccessibility(const std::string& display) {
  try {
    const accessibility::Module module = accessibility::loadModule(::secure_getenv);
    if (std::strcmp(module.table->release, VIRELO_RELEASE) != 0) return nullptr;
    virelo_accessibility_error error{};
    virelo_accessibility_services* opened = module.table->services_open(display.c_str(), &error);
    if (opened == nullptr) return nullptr;
    std::shared_ptr<LinuxAccessibility> services = opened->services;
    module.table->services_close(opened);
    return services;
  } catch (const accessibility::ModuleError&) {
    return nullptr;
  }
}

}  // namespace virelo::hosts
