#include "tools/virelo/targets_command.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>

#include "controls_module.h"
#include "platform/hosts/linux_accessibility.h"
#include "targets/snap_target_finder.h"
#include "tools/virelo/controls_commands.h"

namespace virelo::tools {
namespace {

// The accessibility services of the module, for the X display.
std::shared_ptr<hosts::LinuxAccessibility> servicesFor(const std::string& display) {
  const client::AccessibilityModule module = client::openAccessibilityModule(std::getenv);
  auto make = reinterpret_cast<hosts::LinuxAccessibilityEntry>(
      ::dlsym(module.handle, hosts::kLinuxAccessibilityEntry));
  std::shared_ptr<hosts::LinuxAccessibility> services;
  if (make != nullptr) make(display.c_str(), &services);
  if (services == nullptr) {
    throw client::ControlsUnavailable("the accessibility module " + module.path +
                                      " gives no accessibility services");
  }
  return services;
}

nlohmann::json jsonOf(const Rect& r) {
  return {{"x", std::lround(r.minX())},
          {"y", std::lround(r.minY())},
          {"width", std::lround(r.width())},
          {"height", std::lround(r.height())}};
}

void printText(const char* kind, const std::vector<Rect>& targets) {
  for (const Rect& r : targets) {
    std::cout << kind << "\t" << std::lround(r.minX()) << "," << std::lround(r.minY()) << " "
              << std::lround(r.width()) << "x" << std::lround(r.height()) << "\n";
  }
}

}  // namespace

int runTargets(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("targets takes no operands");
  // The same checks as the commands on controls: an X server, accessibility switched on.
  const client::Desktop desktop = processDesktop();
  const auto pointer = client::pointerPosition(desktop.display().c_str());
  if (!pointer) throw client::PointerUnknown("the X server does not say where the pointer is");
  auto services = servicesFor(desktop.display());
  AccessibilityServices s = services->services();
  auto finder = SnapTargetFinder::create(
      {s.accessibility, s.windowList, s.displays, s.applications, s.keepAlive});
  const Point at{static_cast<double>(pointer->x), static_cast<double>(pointer->y)};
  // The first near search of a finder is never held back.
  finder->refresh(at, SnapTargetFinder::kNearRepeatNS);
  finder->scanWide(at);
  finder->drain();
  const std::vector<Rect> near = finder->targets();
  const std::vector<Rect> wide = finder->takeWide().value_or(std::vector<Rect>{});
  if (args.json) {
    nlohmann::json out = {{"pointer", {{"x", pointer->x}, {"y", pointer->y}}},
                          {"near", nlohmann::json::array()},
                          {"wide", nlohmann::json::array()}};
    for (const Rect& r : near) out["near"].push_back(jsonOf(r));
    for (const Rect& r : wide) out["wide"].push_back(jsonOf(r));
    std::cout << out.dump(2) << "\n";
  } else {
    printText("near", near);
    printText("wide", wide);
  }
  return 0;
}

}  // namespace virelo::tools
