// Keyboard layouts (compiled from the XKB data, or read from the X server), the names of keys
// and modifiers, the list of known layouts and the pointer's position.
#include <pybind11/stl.h>
#include <xkbcommon/xkbregistry.h>

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

struct RegistryUnref {
  void operator()(rxkb_context* context) const { rxkb_context_unref(context); }
};

// Every layout and variant of the XKB registry: "LAYOUT" or "LAYOUT(VARIANT)" and its
// description.
std::vector<std::pair<std::string, std::string>> knownLayouts() {
  std::unique_ptr<rxkb_context, RegistryUnref> context(rxkb_context_new(RXKB_CONTEXT_NO_FLAGS));
  if (!context || !rxkb_context_parse_default_ruleset(context.get())) {
    throw UnknownLayout("(the XKB registry cannot be read)");
  }
  std::vector<std::pair<std::string, std::string>> layouts;
  for (rxkb_layout* l = rxkb_layout_first(context.get()); l != nullptr; l = rxkb_layout_next(l)) {
    std::string name = rxkb_layout_get_name(l);
    if (const char* variant = rxkb_layout_get_variant(l)) {
      name += '(';  // piece by piece, as g++ 12 at -O3 warns falsely of overlap in a concatenation
      name += variant;
      name += ')';
    }
    const char* description = rxkb_layout_get_description(l);
    layouts.emplace_back(std::move(name), description != nullptr ? description : "");
  }
  return layouts;
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

  m.def("layout_names", &knownLayouts, Release());
  m.def("key_name", &keyName, py::arg("usage"));
  m.def("modifier_names", &modifierNames, py::arg("modifiers"));
  m.def(
      "media_usage", [](const std::string& name) { return mediaUsage(name); }, py::arg("name"));
  m.def(
      "button_bit", [](const std::string& name) { return buttonBit(name); }, py::arg("name"));
  m.def(
      "pointer_position",
      [](const std::string& display) -> std::optional<std::pair<int, int>> {
        auto p = pointerPosition(display.c_str());
        if (!p) return std::nullopt;
        return std::make_pair(p->x, p->y);
      },
      py::arg("display"), Release());
}

}  // namespace virelo::python
