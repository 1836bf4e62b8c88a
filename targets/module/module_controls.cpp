// The module's controls (module_parts.h): platform/controls.h behind the C interface.
#include <string>

#include "platform/hosts/linux_controls.h"
#include "targets/module/module_calls.h"
#include "targets/module/module_parts.h"

struct virelo_controls {
  std::shared_ptr<virelo::Controls> controls;
};

namespace virelo::module {
namespace {

std::function<bool(std::string_view)> predicateOf(const virelo_text_filter& filter) {
  if (filter.accepts == nullptr) return {};
  return [filter](std::string_view text) {
    return filter.accepts(filter.context, text.data(), text.size()) != 0;
  };
}

ControlFilter filterOf(const virelo_controls_filter& c) {
  ControlFilter filter;
  if (c.role != nullptr) filter.role = c.role;
  filter.name = predicateOf(c.name);
  filter.application = predicateOf(c.application);
  filter.all = c.all != 0;
  filter.container = predicateOf(c.container);
  return filter;
}

void give(const Control& found, const virelo_control_sink& sink) {
  virelo_control c{};
  c.role = found.role.c_str();
  c.name = found.name.c_str();
  c.application = found.application.c_str();
  c.pid = found.pid;
  c.x = found.bounds.minX();
  c.y = found.bounds.minY();
  c.width = found.bounds.width();
  c.height = found.bounds.height();
  c.enabled = found.enabled;
  c.visible = found.visible;
  c.focused = found.focused;
  c.focusable = found.focusable;
  c.editable = found.editable;
  c.covered = found.covered;
  c.off_screen = found.offScreen;
  c.stacking = found.stacking;
  if (found.text) {
    c.text = found.text->c_str();
    c.text_length = found.text->size();
  }
  if (found.value) {
    c.has_value = 1;
    c.value = found.value->current;
    c.value_minimum = found.value->minimum;
    c.value_maximum = found.value->maximum;
  }
  c.handle = found.handle;
  sink.control(sink.context, &c);
}

}  // namespace

virelo_controls* controlsOpen(const char* display, int32_t timeoutMS,
                              virelo_accessibility_error* error) {
  virelo_controls* opened = nullptr;
  guarded(error, [&] {
    auto controls = hosts::makeAtspiLinuxControls(display, std::chrono::milliseconds(timeoutMS));
    opened = new virelo_controls{std::move(controls)};
  });
  return opened;
}

void controlsClose(virelo_controls* controls) {
  delete controls;
}

int32_t controlsReach(virelo_controls* controls, virelo_accessibility_error* error) {
  int32_t reach = VIRELO_CONTROLS_NO_BUS;
  guarded(error, [&] {
    switch (controls->controls->reach()) {
      case Controls::Reach::ready:
        reach = VIRELO_CONTROLS_READY;
        break;
      case Controls::Reach::switchedOff:
        reach = VIRELO_CONTROLS_SWITCHED_OFF;
        break;
      case Controls::Reach::noBus:
        reach = VIRELO_CONTROLS_NO_BUS;
        break;
    }
  });
  return reach;
}

void controlsFind(virelo_controls* controls, const virelo_controls_filter* filter,
                  const virelo_control_sink* sink, virelo_accessibility_error* error) {
  guarded(error, [&] {
    const ControlSearch search = controls->controls->find(filterOf(*filter));
    for (const Control& found : search.controls) give(found, *sink);
    for (const std::string& name : search.unanswering)
      sink->unanswering(sink->context, name.c_str());
  });
}

void controlsRoleNames(virelo_controls* controls, void (*role)(void*, const char*), void* context,
                       virelo_accessibility_error* error) {
  guarded(error, [&] {
    for (const std::string& name : controls->controls->roleNames()) role(context, name.c_str());
  });
}

void controlsAct(virelo_controls* controls, uint64_t handle, const char* action,
                 void (*done)(void*, const char*), void* context,
                 virelo_accessibility_error* error) {
  guarded(error, [&] {
    std::optional<std::string> named;
    if (action != nullptr) named = action;
    const std::string used = controls->controls->act(handle, named);
    done(context, used.c_str());
  });
}

}  // namespace virelo::module
