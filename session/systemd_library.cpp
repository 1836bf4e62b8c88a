#include "session/systemd_library.h"

#ifdef VIRELO_HAVE_SYSTEMD
#include <dlfcn.h>

#include <optional>

namespace virelo::session {
namespace {

// Points `function` at the library's symbol `name`; false when the library has none.
template <typename F>
bool resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(::dlsym(library, name));
  return function != nullptr;
}

// Never closed: the process keeps what it opened.
std::optional<SystemdLibrary> open() {
  void* handle = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return std::nullopt;
  SystemdLibrary library{};
  if (!resolve(handle, "sd_notify", library.notify) ||
      !resolve(handle, "sd_bus_open_user", library.busOpenUser) ||
      !resolve(handle, "sd_bus_get_property_trivial", library.getPropertyTrivial) ||
      !resolve(handle, "sd_bus_error_free", library.errorFree) ||
      !resolve(handle, "sd_bus_unref", library.busUnref) ||
      !resolve(handle, "sd_bus_call_method", library.callMethod) ||
      !resolve(handle, "sd_bus_message_read_basic", library.messageReadBasic) ||
      !resolve(handle, "sd_bus_message_unref", library.messageUnref)) {
    return std::nullopt;
  }
  return library;
}

}  // namespace

const SystemdLibrary* systemdLibrary() {
  static const std::optional<SystemdLibrary> library = open();
  return library ? &*library : nullptr;
}

}  // namespace virelo::session
#endif
