// The one loader of the accessibility module (accessibility_module.h), for the service's Linux
// host, the client library's part for controls and what is built on them. It looks in one order
// and takes the first file that exists:
//   1. $VIRELO_ACCESSIBILITY_MODULE, when set and not empty (then only that file);
//   2. beside the executable (the build tree, and copies made to run the service as another user);
//   3. the install's module directory relative to the executable (<bindir>/../<libdir>/virelo);
//   4. the module directory beside the file that holds this loader (a shared client library in
//      <libdir> looks in <libdir>/virelo);
//   5. the module directory of the configured install (<prefix>/<libdir>/virelo).
// The file found is opened, its entry point asked for the table of this build's version, and the
// table's version and size checked: a module of another version is refused, never used.
//
// The module stays open for the life of the process (GLib cannot be unloaded), and so does the
// table. Threads: any; loading twice gives the same module.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "virelo/protocol/accessibility_module.h"

namespace virelo::accessibility {

// Why no module could be used, in words for a person: what was looked for, or which file was
// refused and why.
class ModuleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Module {
  const virelo_accessibility_module_v2* table;
  std::string path;
};

// A variable of the environment by name, or nullptr (std::getenv, or secure_getenv where the
// environment must not choose code to load in a privileged process).
using EnvironmentLookup = std::function<const char*(const char*)>;

// The places of the search order above, first first.
std::vector<std::filesystem::path> modulePlaces(const EnvironmentLookup& environment);

// Throws ModuleError when no file exists, it cannot be opened, it has no entry point, or it gives
// no table of this version.
Module loadModule(const EnvironmentLookup& environment);

}  // namespace virelo::accessibility
