#include "controls_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <vector>

#include "platform/hosts/linux_controls.h"
#include "virelo/client/errors.h"

#if !defined(VIRELO_ACCESSIBILITY_MODULE) || !defined(VIRELO_MODULE_DIR_FROM_BINDIR) || \
    !defined(VIRELO_INSTALLED_MODULE_DIR)
#error "VIRELO_ACCESSIBILITY_MODULE and the module's directories must be defined"
#endif

namespace virelo::client {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> candidates(const EnvironmentLookup& environment) {
  const char* named = environment("VIRELO_ACCESSIBILITY_MODULE");
  if (named != nullptr && *named != '\0') return {fs::path(named)};
  std::vector<fs::path> paths;
  std::error_code ec;
  const auto self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    paths.push_back(self.parent_path() / VIRELO_ACCESSIBILITY_MODULE);
    paths.push_back(self.parent_path() / VIRELO_MODULE_DIR_FROM_BINDIR /
                    VIRELO_ACCESSIBILITY_MODULE);
  }
  paths.push_back(fs::path(VIRELO_INSTALLED_MODULE_DIR) / VIRELO_ACCESSIBILITY_MODULE);
  return paths;
}

}  // namespace

AccessibilityModule openAccessibilityModule(const EnvironmentLookup& environment) {
  std::string tried;
  for (const auto& path : candidates(environment)) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      tried += (tried.empty() ? "" : ", ") + path.string();
      continue;
    }
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      const char* why = ::dlerror();
      throw ControlsUnavailable("cannot open the accessibility module " + path.string() + ": " +
                                (why != nullptr ? why : "unknown error"));
    }
    return {module, path.string()};
  }
  throw ControlsUnavailable(
      "no accessibility module is installed (the AT-SPI part of Virelo; looked for " + tried + ")");
}

std::shared_ptr<Controls> openControls(const EnvironmentLookup& environment,
                                       const std::string& display,
                                       std::chrono::milliseconds timeout) {
  const AccessibilityModule module = openAccessibilityModule(environment);
  auto make = reinterpret_cast<hosts::LinuxControlsEntry>(
      ::dlsym(module.handle, hosts::kLinuxControlsEntry));
  std::shared_ptr<Controls> controls;
  if (make != nullptr) make(display.c_str(), static_cast<int>(timeout.count()), &controls);
  if (controls == nullptr) {
    throw ControlsUnavailable("the accessibility module " + module.path +
                              " cannot read controls (an older module?)");
  }
  return controls;
}

}  // namespace virelo::client
