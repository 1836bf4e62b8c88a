// Libraries the tool opens at run time, only when a command needs them (so that no other start
// loads them): opening one by its soname and resolving its functions.
#pragma once

#include <dlfcn.h>

namespace virelo::tools {

// The library, or nullptr when it is not installed. Never closed: the process keeps what it
// opened for its short life.
inline void* openLibrary(const char* soname) {
  return ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
}

// Points `function` at the library's symbol `name`; false when the library has none.
template <typename F>
bool resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(::dlsym(library, name));
  return function != nullptr;
}

}  // namespace virelo::tools
