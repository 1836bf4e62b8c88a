#include "tools/virelo/targets_command.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <new>
#include <nlohmann/json.hpp>
#include <vector>

#include "tools/virelo/controls_commands.h"
#include "virelo/protocol/accessibility_module_loader.h"

namespace virelo::tools {
namespace {

struct Bounds {
  double x, y, width, height;
};

struct Found {
  std::vector<Bounds> near;
  std::vector<Bounds> wide;

  bool full = false;

  // Called by the module, which nothing may unwind through.
  static void add(void* context, int32_t kind, const virelo_rect* r) {
    auto* self = static_cast<Found*>(context);
    try {
      (kind == VIRELO_TARGET_NEAR ? self->near : self->wide)
          .push_back({r->x, r->y, r->width, r->height});
    } catch (const std::bad_alloc&) {
      self->full = true;
    }
  }
};

// What the service's snap target finder finds around the point, run by the module.
Found targetsAround(const std::string& display, const client::PointerPosition& at) {
  accessibility::Module module{};
  try {
    module = accessibility::loadModule(std::getenv);
  } catch (const accessibility::ModuleError& e) {
    throw client::ControlsUnavailable(e.what());
  }
  Found found;
  const virelo_target_sink sink{&Found::add, &found};
  virelo_accessibility_error error{};
  module.table->find_targets(display.c_str(), at.x, at.y, &sink, &error);
  if (found.full) throw std::bad_alloc();
  if (error.kind != VIRELO_ACCESSIBILITY_OK) {
    throw client::ControlsUnavailable("the accessibility module " + module.path +
                                      " cannot find targets: " + error.message);
  }
  return found;
}

nlohmann::json jsonOf(const Bounds& r) {
  return {{"x", std::lround(r.x)},
          {"y", std::lround(r.y)},
          {"width", std::lround(r.width)},
          {"height", std::lround(r.height)}};
}

void printText(const char* kind, const std::vector<Bounds>& targets) {
  for (const Bounds& r : targets) {
    std::cout << kind << "\t" << std::lround(r.x) << "," << std::lround(r.y) << " "
              << std::lround(r.width) << "x" << std::lround(r.height) << "\n";
  }
}

}  // namespace

int runTargets(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("targets takes no operands");
  // The same checks as the commands on controls: an X server, accessibility switched on.
  const client::Desktop desktop = processDesktop();
  if (desktop.onCompositor()) {
    throw client::PointerUnknown(
        "a Wayland compositor tells no client where the pointer is: no targets around it can be "
        "listed");
  }
  const auto pointer = client::pointerPosition(desktop.display().c_str());
  if (!pointer) throw client::PointerUnknown("the X server does not say where the pointer is");
  const Found found = targetsAround(desktop.display(), *pointer);
  const std::vector<Bounds>& near = found.near;
  const std::vector<Bounds>& wide = found.wide;
  if (args.json) {
    nlohmann::json out = {{"pointer", {{"x", pointer->x}, {"y", pointer->y}}},
                          {"near", nlohmann::json::array()},
                          {"wide", nlohmann::json::array()}};
    for (const Bounds& r : near) out["near"].push_back(jsonOf(r));
    for (const Bounds& r : wide) out["wide"].push_back(jsonOf(r));
    std::cout << out.dump(2) << "\n";
  } else {
    printText("near", near);
    printText("wide", wide);
  }
  return 0;
}

}  // namespace virelo::tools
