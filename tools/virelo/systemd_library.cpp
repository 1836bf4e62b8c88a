#include "tools/virelo/systemd_library.h"

#ifdef VIRELO_HAVE_SYSTEMD
#include <dlfcn.h>

#include <optional>

namespace virelo::tools {
namespace {

template <typename F>
bool resolve(void* handle, const char* name, F& function) {
  function = reinterpret_cast<F>(::dlsym(handle, name));
  return function != nullptr;
}

std::optional<SystemdLibrary> open() {
  // Never closed: the process keeps what it opened for its short life.
  void* handle = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
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
