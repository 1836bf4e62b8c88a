// The module's snap targets and services (module_parts.h): the service's snap target finder run
// once, and the services handed to the service of the same build.
#include "platform/hosts/linux_accessibility.h"
#include "targets/module/module_calls.h"
#include "targets/module/module_parts.h"
#include "targets/snap_target_finder.h"

namespace virelo::module {
namespace {

void give(const std::vector<Rect>& targets, int32_t kind, const virelo_target_sink& sink) {
  for (const Rect& r : targets) {
    const virelo_rect bounds{r.minX(), r.minY(), r.width(), r.height()};
    sink.target(sink.context, kind, &bounds);
  }
}

}  // namespace

void findTargets(const char* display, double x, double y, const virelo_target_sink* sink,
                 virelo_accessibility_error* error) {
  guarded(error, [&] {
    auto services = hosts::makeAtspiLinuxAccessibility(display);
    AccessibilityServices s = services->services();
    auto finder = SnapTargetFinder::create(
        {s.accessibility, s.windowList, s.displays, s.applications, s.keepAlive});
    const Point at{x, y};
    // The first near search of a finder is never held back.
    finder->refresh(at, SnapTargetFinder::kNearRepeatNS);
    finder->scanWide(at);
    finder->drain();
    give(finder->targets(), VIRELO_TARGET_NEAR, *sink);
    give(finder->takeWide().value_or(std::vector<Rect>{}), VIRELO_TARGET_WIDE, *sink);
  });
}

virelo_accessibility_services* servicesOpen(const char* display,
                                            virelo_accessibility_error* error) {
  virelo_accessibility_services* opened = nullptr;
  guarded(error, [&] {
    opened = new virelo_accessibility_services{hosts::makeAtspiLinuxAccessibility(display)};
  });
  return opened;
}

void servicesClose(virelo_accessibility_services* services) {
  delete services;
}

}  // namespace virelo::module
