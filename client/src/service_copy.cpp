#include <filesystem>

#include "virelo/client/launcher.h"

#if !defined(VIRELO_ACCESSIBILITY_MODULE) || !defined(VIRELO_MODULE_DIR_FROM_BINDIR)
#error "VIRELO_ACCESSIBILITY_MODULE and VIRELO_MODULE_DIR_FROM_BINDIR must name the module"
#endif

namespace virelo::client {

std::string copyService(const std::string& servicePath, const std::string& directory) {
  namespace fs = std::filesystem;
  const fs::path source(servicePath);
  const fs::path target = fs::path(directory) / "virelo-service";
  fs::copy_file(source, target);
  const fs::path dir = source.parent_path();
  for (const auto& module : {dir / VIRELO_ACCESSIBILITY_MODULE,
                             dir / VIRELO_MODULE_DIR_FROM_BINDIR / VIRELO_ACCESSIBILITY_MODULE}) {
    if (fs::exists(module)) {
      fs::copy_file(module, fs::path(directory) / VIRELO_ACCESSIBILITY_MODULE);
      break;
    }
  }
  return target.string();
}

}  // namespace virelo::client
