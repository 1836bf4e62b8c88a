#include "tools/virelo/registry_library.h"

#include <optional>

#include "tools/virelo/dynamic_library.h"

namespace virelo::tools {
namespace {

std::optional<RegistryLibrary> open() {
  void* handle = openLibrary("libxkbregistry.so.0");
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
