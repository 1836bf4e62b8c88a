// The parts of the module "virelo._virelo", each adding its classes and functions.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>

namespace virelo::python {

// Releases the GIL for the whole call: for every binding that may wait on the service or the X
// server, so that other Python threads run meanwhile.
using Release = pybind11::call_guard<pybind11::gil_scoped_release>;

// Python's seconds as the client library's milliseconds.
inline std::chrono::milliseconds millis(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
}

// Turns the client library's errors into the classes of "virelo.errors".
void bindErrors(pybind11::module_& module);
// Client, Status, Chord, MotionStream.
void bindClient(pybind11::module_& module);
// Layout, the key and layout names.
void bindLayouts(pybind11::module_& module);
// Launcher.
void bindLauncher(pybind11::module_& module);
// Desktop, ControlQuery, NameMatch, Control, ControlValue.
void bindControls(pybind11::module_& module);
// Window, the windows' and the display's calls, the pointer's position.
void bindWindows(pybind11::module_& module);
// Script, parsing, running and recording scripts.
void bindScripts(pybind11::module_& module);

}  // namespace virelo::python
