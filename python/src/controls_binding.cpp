// Controls found by role and name through the accessibility trees (the client library's part
// Controls): the desktop, queries, controls with their text and value, and the acts on them. Every
// call that reads the trees or waits releases the GIL; one desktop is used by one thread at a
// time (its lock). A Ctrl-C ends a wait.
#include <pybind11/stl.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "signal_check.h"
#include "virelo/client/client.h"
#include "virelo/client/controls.h"

namespace py = pybind11;
using namespace virelo::client;

namespace virelo::python {

namespace {

// A desktop and the lock of its users.
struct DesktopHandle {
  explicit DesktopHandle(double timeout) : desktop(std::getenv, millis(timeout)) {}
  std::mutex lock;
  Desktop desktop;
};

template <typename Call>
auto locked(DesktopHandle& d, Call&& call) {
  py::gil_scoped_release release;
  std::lock_guard<std::mutex> hold(d.lock);
  return call(d.desktop);
}

// The states that matter, by name.
std::vector<std::string> statesOf(const Control& c) {
  std::vector<std::string> states;
  const std::pair<bool, const char*> all[] = {
      {c.enabled, "enabled"},     {c.visible, "visible"},   {c.focused, "focused"},
      {c.focusable, "focusable"}, {c.editable, "editable"}, {c.covered, "covered"},
      {c.offScreen, "off-screen"}};
  for (const auto& [on, name] : all) {
    if (on) states.emplace_back(name);
  }
  return states;
}

void bindControl(py::module_& m) {
  py::class_<ControlValue>(m, "ControlValue")
      .def_readonly("current", &ControlValue::current)
      .def_readonly("minimum", &ControlValue::minimum)
      .def_readonly("maximum", &ControlValue::maximum)
      .def("__repr__", [](const ControlValue& v) {
        return "ControlValue(current=" + py::repr(py::float_(v.current)).cast<std::string>() +
               ", minimum=" + py::repr(py::float_(v.minimum)).cast<std::string>() +
               ", maximum=" + py::repr(py::float_(v.maximum)).cast<std::string>() + ")";
      });
  py::class_<Control>(m, "Control")
      .def_readonly("role", &Control::role)
      .def_readonly("name", &Control::name)
      .def_readonly("app", &Control::application)
      .def_readonly("pid", &Control::pid)
      .def_readonly("text", &Control::text)
      .def_readonly("value", &Control::value)
      .def_readonly("stacking", &Control::stacking)
      .def_readonly("placed", &Control::placed)
      .def_property_readonly(
          "extents", [](const Control& c) { return py::make_tuple(c.x, c.y, c.width, c.height); })
      .def_property_readonly("centre",
                             [](const Control& c) {
                               const PointerPosition p = c.centre();
                               return py::make_tuple(p.x, p.y);
                             })
      .def_property_readonly("states", &statesOf)
      .def_readonly("enabled", &Control::enabled)
      .def_readonly("visible", &Control::visible)
      .def_readonly("focused", &Control::focused)
      .def_readonly("focusable", &Control::focusable)
      .def_readonly("editable", &Control::editable)
      .def_readonly("covered", &Control::covered)
      .def_readonly("off_screen", &Control::offScreen)
      .def("describe", &Control::describe)
      .def("__repr__", [](const Control& c) { return "<virelo.Control " + c.describe() + ">"; });
}

void bindQuery(py::module_& m) {
  py::class_<NameMatch>(m, "NameMatch")
      .def_static("exactly", &NameMatch::exactly, py::arg("text"))
      .def_static("containing", &NameMatch::containing, py::arg("text"))
      .def_static("matching", &NameMatch::matching, py::arg("expression"))
      .def("__call__", [](const NameMatch& n, const std::string& text) { return n(text); })
      .def("describe", &NameMatch::describe);
  py::class_<ControlQuery>(m, "ControlQuery")
      .def(py::init<>())
      .def_readwrite("role", &ControlQuery::role)
      .def_readwrite("name", &ControlQuery::name)
      .def_readwrite("application", &ControlQuery::application)
      .def_readwrite("all", &ControlQuery::all)
      .def_readwrite("editable", &ControlQuery::editable)
      .def_readwrite("container", &ControlQuery::container)
      .def_readwrite("text", &ControlQuery::text)
      .def_readwrite("nth", &ControlQuery::nth)
      .def("describe", &ControlQuery::describe);
}

void bindDesktop(py::module_& m) {
  py::class_<DesktopHandle>(m, "Desktop")
      .def(py::init<double>(), py::arg("timeout") = 2.0, Release())
      .def("find",
           [](DesktopHandle& d, const ControlQuery& q) {
             FoundControls found = locked(d, [&](Desktop& desk) { return desk.find(q); });
             return std::make_pair(std::move(found.controls), std::move(found.unanswering));
           })
      .def("role_names",
           [](DesktopHandle& d) {
             return locked(d, [](Desktop& desk) { return desk.roleNames(); });
           })
      .def("one_control",
           [](DesktopHandle& d, const ControlQuery& q, bool first) {
             return locked(d, [&](Desktop& desk) { return oneControl(desk, q, first); });
           })
      .def("read_text",
           [](DesktopHandle& d, const ControlQuery& q, bool first) {
             return locked(d, [&](Desktop& desk) { return readText(desk, q, first); });
           })
      .def("wait_for",
           [](DesktopHandle& d, const ControlQuery& q, bool gone, double timeout, double interval) {
             // A pending Ctrl-C ends the wait between looks.
             SignalCheck interrupted;
             return locked(d, [&](Desktop& desk) {
               return waitFor(desk, q, gone, millis(timeout), millis(interval),
                              [&interrupted] { interrupted(); });
             });
           })
      .def("click_on",
           [](DesktopHandle& d, Client& client, const ControlQuery& q, int button, bool twice,
              bool first, std::optional<std::string> action, bool byAction) {
             ClickOptions options;
             options.button = button;
             options.twice = twice;
             options.first = first;
             options.by = byAction ? ClickBy::action : ClickBy::pointer;
             options.action = std::move(action);
             Clicked clicked =
                 locked(d, [&](Desktop& desk) { return clickOn(client, desk, q, options); });
             return py::make_tuple(clicked.control,
                                   clicked.by == ClickBy::action ? "action" : "pointer",
                                   clicked.action);
           })
      .def("focus_on",
           [](DesktopHandle& d, Client& client, const ControlQuery& q, bool first, double timeout) {
             return locked(d, [&](Desktop& desk) {
               return focusOn(client, desk, q, first, millis(timeout));
             });
           })
      .def_property_readonly("display", [](DesktopHandle& d) { return d.desktop.display(); });
}

}  // namespace

void bindControls(py::module_& m) {
  bindControl(m);
  bindQuery(m);
  bindDesktop(m);
}

}  // namespace virelo::python
