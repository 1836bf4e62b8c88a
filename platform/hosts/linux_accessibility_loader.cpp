// The accessibility services of the Linux host, from their module: beside the executable (the
// build tree, and copies made to run the service as another user), else in the installed place
// relative to it. The module stays open for the life of the process: GLib cannot be unloaded.
#include <dlfcn.h>

#include <filesystem>

#include "platform/hosts/linux_accessibility.h"

#if !defined(VIRELO_ACCESSIBILITY_MODULE) || !defined(VIRELO_MODULE_DIR_FROM_BINDIR)
#error "VIRELO_ACCESSIBILITY_MODULE and VIRELO_MODULE_DIR_FROM_BINDIR must name the module"
#endif

namespace virelo::hosts {
namespace {

void* openModule() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return nullptr;
  const auto dir = self.parent_path();
  for (const auto& path : {dir / VIRELO_ACCESSIBILITY_MODULE,
                           dir / VIRELO_MODULE_DIR_FROM_BINDIR / VIRELO_ACCESSIBILITY_MODULE}) {
    if (!std::filesystem::exists(path, ec)) continue;
    if (void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<LinuxAccessibility> makeLinuxAccessibility(const std::string& display) {
  void* module = openModule();
  if (module == nullptr) return nullptr;
  auto make = reinterpret_cast<LinuxAccessibilityEntry>(::dlsym(module, kLinuxAccessibilityEntry));
  std::shared_ptr<LinuxAccessibility> services;
  if (make != nullptr) make(display.c_str(), &services);
  return services;
}

}  // namespace virelo::hosts
