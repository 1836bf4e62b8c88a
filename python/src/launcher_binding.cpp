// The launcher: a service started and supervised by this process, as parent applications do.
#include <pybind11/stl.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "bindings.h"
#include "virelo/client/launcher.h"

namespace py = pybind11;
using namespace virelo::client;

namespace virelo::python {

namespace {

py::dict eventDict(const ServiceEvent& e) {
  py::dict event;
  event["type"] = e.type;
  event["ready"] = e.ready;
  event["ok"] = e.ok ? py::cast(*e.ok) : py::none();
  event["backend"] = e.backend;
  event["error"] = e.error ? py::cast(*e.error) : py::none();
  event["line"] = e.line;
  return event;
}

}  // namespace

void bindLauncher(py::module_& m) {
  py::class_<Launcher>(m, "Launcher")
      .def(py::init([](const std::string& service, const std::string& backend,
                       const std::map<std::string, std::string>& environment,
                       std::optional<std::string> user, double readyTimeout,
                       const std::string& directoryParent) {
             LaunchOptions options;
             options.servicePath = service;
             options.backend = backend;
             options.environment = environment;
             options.user = std::move(user);
             options.readyTimeout = millis(readyTimeout);
             options.directoryParent = directoryParent;
             return std::make_unique<Launcher>(std::move(options));
           }),
           py::arg("service"), py::arg("backend") = "corehid",
           py::arg("environment") = std::map<std::string, std::string>{},
           py::arg("user") = std::nullopt, py::arg("ready_timeout") = 10.0,
           py::arg("directory_parent") = "")
      .def("start",
           [](Launcher& l) {
             ServiceEvent e;
             {
               py::gil_scoped_release release;
               e = l.start();
             }
             return eventDict(e);
           })
      .def(
          "next_event",
          [](Launcher& l, double timeout) -> py::object {
            std::optional<ServiceEvent> e;
            {
              py::gil_scoped_release release;
              e = l.nextEvent(millis(timeout));
            }
            return e ? py::object(eventDict(*e)) : py::object(py::none());
          },
          py::arg("timeout"))
      .def(
          "stop", [](Launcher& l, double timeout) { return l.stop(millis(timeout)); },
          py::arg("timeout") = 5.0, Release())
      .def("running", &Launcher::running, Release())
      .def_property_readonly("directory", &Launcher::directory)
      .def_property_readonly("socket", &Launcher::socketPath)
      .def_property_readonly("token", &Launcher::token)
      .def_property_readonly("pid", &Launcher::pid);
}

}  // namespace virelo::python
