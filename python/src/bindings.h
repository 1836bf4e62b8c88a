// The parts of the module "virelo._virelo", each adding its classes and functions.
#pragma once

#include <pybind11/pybind11.h>

namespace virelo::python {

// Turns the client library's errors into the classes of "virelo.errors".
void bindErrors(pybind11::module_& module);
// Client, Status, Chord, MotionStream.
void bindClient(pybind11::module_& module);
// Layout, the key and layout names, the pointer position.
void bindLayouts(pybind11::module_& module);
// Launcher.
void bindLauncher(pybind11::module_& module);

}  // namespace virelo::python
