#include "tools/virelo/systemd_library.h"

#ifdef VIRELO_HAVE_SYSTEMD
#include <optional>

#include "tools/virelo/dynamic_library.h"

namespace virelo::tools {
namespace {

std::optional<SystemdLibrary> open() {
  void* handle = openLibrary("libsystemd.so.0");
  if (handle == nullptr) return std::nullopt;
  SystemdLibrary library{};
  if (!resolve(handle, "sd_notify", library.notify) ||
      !resolve(handle, "sd_bus_open_user", library.busOpenUser) ||
      !resolve(handle, "sd_bus_get_property_trivial", library.getPropertyTrivial) ||
      !resolve(handle, "sd_bus_error_free", library.errorFree) ||
      !resolve(handle, "sd_bus_unref", library.busUnref)) {
    return std::nullopt;
  }
  return library;
}

}  // namespace

const SystemdLibrary* systemdLibrary() {
  static const std::optional<SystemdLibrary> library = open();
  return library ? &*library : nullptr;
}

}  // namespace virelo::tools
#endif
