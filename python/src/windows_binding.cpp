// The top-level windows of an X desktop (EWMH), the display's geometry and the pointer's place.
#include <pybind11/functional.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <string>

#include "bindings.h"
#include "virelo/client/controls.h"
#include "virelo/client/windows.h"
#include "virelo/client/x11.h"

namespace py = pybind11;
using namespace virelo::client;

namespace virelo::python {

namespace {

py::tuple areaTuple(const ScreenArea& a) {
  return py::make_tuple(a.x, a.y, a.width, a.height);
}

std::vector<WindowInfo> search(const std::string& display, const std::optional<NameMatch>& name,
                               const std::optional<NameMatch>& className, std::optional<int> pid) {
  WindowQuery query;
  if (name) query.name = *name;
  if (className) query.className = *className;
  query.pid = pid;
  return searchWindows(display.c_str(), query);
}

}  // namespace

void bindWindows(py::module_& m) {
  py::class_<WindowInfo>(m, "Window")
      .def_readonly("id", &WindowInfo::id)
      .def_readonly("title", &WindowInfo::title)
      .def_readonly("application", &WindowInfo::application)
      .def_readonly("instance", &WindowInfo::instance)
      .def_readonly("pid", &WindowInfo::pid)
      .def_property_readonly("geometry", [](const WindowInfo& w) { return areaTuple(w.geometry); })
      .def_readonly("desktop", &WindowInfo::desktop)
      .def_readonly("focused", &WindowInfo::focused)
      .def("__repr__", [](const WindowInfo& w) {
        return "<virelo.Window " + std::to_string(w.id) + " \"" + escapedText(w.title) + "\" " +
               escapedText(w.application) + ">";
      });
  m.def(
      "list_windows", [](const std::string& display) { return listWindows(display.c_str()); },
      py::arg("display"), Release());
  m.def("search_windows", &search, py::arg("display"), py::arg("name") = std::nullopt,
        py::arg("class_name") = std::nullopt, py::arg("pid") = std::nullopt, Release());
  m.def(
      "active_window", [](const std::string& display) { return activeWindow(display.c_str()); },
      py::arg("display"), Release());
  m.def(
      "activate_window",
      [](const std::string& display, std::uint32_t id, double wait) {
        activateWindow(display.c_str(), id, millis(wait));
      },
      py::arg("display"), py::arg("id"), py::arg("wait") = 2.0, Release());
  m.def(
      "display_geometry",
      [](const std::string& display) {
        ScreenArea area = displayGeometry(display.c_str());
        py::gil_scoped_acquire gil;
        return areaTuple(area);
      },
      py::arg("display"), Release());
  m.def(
      "pointer_at",
      [](const std::string& display) {
        auto p = pointerPosition(display.c_str());
        if (!p)
          throw PointerUnknown("the pointer's position cannot be read on \"" + display + "\"");
        return std::make_pair(p->x, p->y);
      },
      py::arg("display"), Release());
}

}  // namespace virelo::python
