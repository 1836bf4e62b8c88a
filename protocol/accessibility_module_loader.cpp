#include "virelo/protocol/accessibility_module_loader.h"

#include <dlfcn.h>

#if !defined(VIRELO_ACCESSIBILITY_MODULE) || !defined(VIRELO_MODULE_DIR_FROM_BINDIR) || \
    !defined(VIRELO_INSTALLED_MODULE_DIR)
#error "VIRELO_ACCESSIBILITY_MODULE and the module's directories must be defined"
#endif

namespace virelo::accessibility {
namespace {

namespace fs = std::filesystem;

// The directory of the file (executable or shared library) that holds this loader.
fs::path loaderDirectory() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&modulePlaces), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  std::error_code ec;
  const fs::path file = fs::canonical(info.dli_fname, ec);
  return ec ? fs::path() : file.parent_path();
}

std::string dlError() {
  const char* why = ::dlerror();
  return why != nullptr ? why : "unknown error";
}

const virelo_accessibility_module_v2* tableOf(void* handle, const std::string& path) {
  auto entry = reinterpret_cast<virelo_accessibility_module_entry>(
      ::dlsym(handle, VIRELO_ACCESSIBILITY_MODULE_ENTRY));
  if (entry == nullptr) {
    throw ModuleError("the accessibility module " + path + " has no entry point " +
                      VIRELO_ACCESSIBILITY_MODULE_ENTRY + " (a module of an older release?)");
  }
  const auto* table = static_cast<const virelo_accessibility_module_v2*>(
      entry(VIRELO_ACCESSIBILITY_MODULE_VERSION));
  const std::string wanted = std::to_string(VIRELO_ACCESSIBILITY_MODULE_VERSION);
  if (table == nullptr) {
    throw ModuleError("the accessibility module " + path + " has no interface of version " +
                      wanted + " (a module of another release)");
  }
  if (table->version != VIRELO_ACCESSIBILITY_MODULE_VERSION ||
      table->size < sizeof(virelo_accessibility_module_v2)) {
    throw ModuleError("the accessibility module " + path + " has interface version " +
                      std::to_string(table->version) + ", this program needs version " + wanted +
                      " (a module of another release)");
  }
  return table;
}

}  // namespace

std::vector<fs::path> modulePlaces(const EnvironmentLookup& environment) {
  const char* named = environment("VIRELO_ACCESSIBILITY_MODULE");
  if (named != nullptr && *named != '\0') return {fs::path(named)};
  std::vector<fs::path> places;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    places.push_back(self.parent_path() / VIRELO_ACCESSIBILITY_MODULE);
    places.push_back(self.parent_path() / VIRELO_MODULE_DIR_FROM_BINDIR /
                     VIRELO_ACCESSIBILITY_MODULE);
  }
  const fs::path loader = loaderDirectory();
  if (!loader.empty()) places.push_back(loader / "virelo" / VIRELO_ACCESSIBILITY_MODULE);
  places.push_back(fs::path(VIRELO_INSTALLED_MODULE_DIR) / VIRELO_ACCESSIBILITY_MODULE);
  return places;
}

Module loadModule(const EnvironmentLookup& environment) {
  std::string tried;
  for (const fs::path& path : modulePlaces(environment)) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      tried += (tried.empty() ? "" : ", ") + path.string();
      continue;
    }
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      throw ModuleError("cannot open the accessibility module " + path.string() + ": " + dlError());
    }
    return {tableOf(handle, path.string()), path.string()};
  }
  throw ModuleError("no accessibility module is installed (the AT-SPI part of Virelo; looked for " +
                    tried + ")");
}

}  // namespace virelo::accessibility
