// The extension module behind the package "virelo": thin bindings over the client library.
#include "bindings.h"

PYBIND11_MODULE(_virelo, module) {
  module.doc() = "Bindings over Virelo's client library; use the package \"virelo\".";
  virelo::python::bindErrors(module);
  virelo::python::bindClient(module);
  virelo::python::bindLayouts(module);
  virelo::python::bindLauncher(module);
  virelo::python::bindControls(module);
  virelo::python::bindWindows(module);
  virelo::python::bindScripts(module);
}
