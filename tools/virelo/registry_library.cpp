#include "tools/virelo/registry_library.h"

#include <dlfcn.h>

#include <optional>

namespace virelo::tools {
namespace {

template <typename F>
bool resolve(void* handle, const char* name, F& function) {
  function = reinterpret_cast<F>(::dlsym(handle, name));
  return function != nullptr;
}

std::optional<RegistryLibrary> open() {
  // Never closed: the process keeps what it opened for its short life.
  void* handle = ::dlopen("libxkbregistry.so.0", RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return std::nullopt;
  RegistryLibrary library{};
  if (!resolve(handle, "rxkb_context_new", library.contextNew) ||
      !resolve(handle, "rxkb_context_unref", library.contextUnref) ||
      !resolve(handle, "rxkb_context_parse_default_ruleset", library.parseDefaultRuleset) ||
      !resolve(handle, "rxkb_layout_first", library.layoutFirst) ||
      !resolve(handle, "rxkb_layout_next", library.layoutNext) ||
      !resolve(handle, "rxkb_layout_get_name", library.layoutName) ||
      !resolve(handle, "rxkb_layout_get_variant", library.layoutVariant) ||
      !resolve(handle, "rxkb_layout_get_description", library.layoutDescription)) {
    return std::nullopt;
  }
  return library;
}

}  // namespace

const RegistryLibrary* registryLibrary() {
  static const std::optional<RegistryLibrary> library = open();
  return library ? &*library : nullptr;
}

}  // namespace virelo::tools
