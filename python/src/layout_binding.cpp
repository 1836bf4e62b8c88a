// Keyboard layouts (compiled from the XKB data, or read from the X server), the names of keys
// and modifiers, and the list of known layouts.
#include <pybind11/stl.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "layout_handle.h"
#include "untypable.h"
#include "virelo/client/errors.h"
#include "virelo/client/keys.h"
#include "virelo/client/layouts.h"
#include "virelo/client/x11.h"

namespace py = pybind11;
using namespace virelo::client;

namespace virelo::python {

namespace {

std::vector<std::pair<int, int>> keystrokesOf(const LayoutHandle& handle, const std::string& text) {
  try {
    std::vector<std::pair<int, int>> strokes;
    for (const auto& k : handle.layout->keystrokes(text))
      strokes.emplace_back(k.usage, k.modifiers);
    return strokes;
  } catch (const UntypableText& e) {
    raiseUntypable(e, text);
    throw py::error_already_set();
  }
}

// Every layout and variant of the XKB registry: "LAYOUT" or "LAYOUT(VARIANT)" and its
// description.
std::vector<std::pair<std::string, std::string>> layoutNames() {
  std::vector<std::pair<std::string, std::string>> names;
  for (auto& known : knownLayouts()) names.emplace_back(std::move(known.name), known.description);
  return names;
}

}  // namespace

void bindLayouts(py::module_& m) {
  py::class_<LayoutHandle>(m, "Layout")
      .def_static(
          "named",
          [](const std::string& name) {
            return LayoutHandle{KeyboardLayout::named(parseLayoutName(name))};
          },
          py::arg("name"), Release())
      .def_static("us",
                  [] {
                    return LayoutHandle{std::shared_ptr<const KeyboardLayout>(
                        std::shared_ptr<const KeyboardLayout>(), &KeyboardLayout::us())};
                  })
      .def_static(
          "active", [] { return LayoutHandle{activeLayout(std::getenv)}; }, Release())
      .def_property_readonly("description",
                             [](const LayoutHandle& h) { return h.layout->description(); })
      .def("keystrokes", &keystrokesOf, py::arg("text"));

  m.def("layout_names", &layoutNames, Release());
  m.def("key_name", &keyName, py::arg("usage"));
  m.def("modifier_names", &modifierNames, py::arg("modifiers"));
  m.def(
      "media_usage", [](const std::string& name) { return mediaUsage(name); }, py::arg("name"));
  m.def(
      "button_bit", [](const std::string& name) { return buttonBit(name); }, py::arg("name"));
}

}  // namespace virelo::python
