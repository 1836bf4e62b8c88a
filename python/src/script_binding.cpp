// Virelo scripts (the client library's part Script): reading and checking one, running it through
// a connection, and recording the X session's input as one.
#include <pybind11/stl.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bindings.h"
#include "layout_handle.h"
#include "signal_check.h"
#include "virelo/client/client.h"
#include "virelo/client/script.h"

namespace py = pybind11;
using namespace virelo::client;

namespace virelo::python {

namespace {

// A checked script, ready to run.
struct Script {
  std::vector<ScriptAction> actions;
};

Recording record(const std::string& display, std::optional<double> duration, bool includeOwn,
                 py::object stop) {
  RecordOptions options;
  if (duration) options.duration = millis(*duration);
  options.includeOwn = includeOwn;
  SignalCheck interrupted;
  // Ctrl-C abandons the recording (KeyboardInterrupt); `stop` (a threading.Event) ends it.
  options.interrupted = [&interrupted, &stop] {
    interrupted();
    if (stop.is_none()) return false;
    py::gil_scoped_acquire gil;
    return stop.attr("is_set")().cast<bool>();
  };
  py::gil_scoped_release release;
  return recordInput(display.c_str(), options);
}

}  // namespace

void bindScripts(py::module_& m) {
  py::class_<Script>(m, "Script").def("__len__", [](const Script& s) { return s.actions.size(); });
  m.def(
      "parse_script",
      [](const std::string& text, const LayoutHandle& layout) {
        return Script{parseScript(text, layout.layout)};
      },
      py::arg("text"), py::arg("layout"), Release());
  m.def(
      "run_script",
      [](Client& client, const Script& script) {
        SignalCheck interrupted;
        runScript(client, script.actions, [&interrupted] { interrupted(); });
      },
      py::arg("client"), py::arg("script"), Release());
  m.def(
      "record",
      [](const std::string& display, std::optional<double> duration, bool includeOwn,
         py::object stop) {
        Recording recording = record(display, duration, includeOwn, std::move(stop));
        return py::make_tuple(recording.script, recording.serverGone);
      },
      py::arg("display"), py::arg("duration") = std::nullopt, py::arg("include_own") = false,
      py::arg("stop") = py::none());
}

}  // namespace virelo::python
