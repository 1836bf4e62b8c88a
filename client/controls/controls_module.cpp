#include "controls_module.h"

#include <exception>
#include <stdexcept>

#include "virelo/client/errors.h"
#include "virelo/protocol/accessibility_module_loader.h"

namespace virelo::client {
namespace {

using Table = virelo_accessibility_module_v2;

// What a call into the module reported, thrown; and what a callback of this library threw
// while the module ran, thrown again once it returned.
void check(const virelo_accessibility_error& error, std::exception_ptr& thrown) {
  if (thrown) std::rethrow_exception(thrown);
  if (error.kind == VIRELO_ACCESSIBILITY_UNKNOWN_ROLE) throw std::invalid_argument(error.message);
  if (error.kind == VIRELO_ACCESSIBILITY_UNPLACEABLE) throw ControlsUnavailable(error.message);
  if (error.kind != VIRELO_ACCESSIBILITY_OK) {
    throw ControlsUnavailable(std::string("the accessibility module failed: ") + error.message);
  }
}

// A predicate passed to the module; one that throws rejects the text and is rethrown by check().
struct Predicate {
  const std::function<bool(std::string_view)>& accepts;
  std::exception_ptr& thrown;

  static int call(void* context, const char* text, std::size_t length) {
    auto* self = static_cast<Predicate*>(context);
    try {
      return self->accepts(std::string_view(text, length)) ? 1 : 0;
    } catch (...) {
      if (!self->thrown) self->thrown = std::current_exception();
      return 0;
    }
  }
  virelo_text_filter filter() { return {accepts ? &Predicate::call : nullptr, this}; }
};

Control controlOf(const virelo_control& c) {
  Control control;
  control.role = c.role;
  control.name = c.name;
  control.application = c.application;
  control.pid = c.pid;
  control.bounds = Rect{{c.x, c.y}, {c.width, c.height}};
  control.enabled = c.enabled != 0;
  control.visible = c.visible != 0;
  control.focused = c.focused != 0;
  control.focusable = c.focusable != 0;
  control.editable = c.editable != 0;
  control.covered = c.covered != 0;
  control.offScreen = c.off_screen != 0;
  control.stacking = c.stacking;
  if (c.text != nullptr) control.text = std::string(c.text, c.text_length);
  if (c.has_value != 0) control.value = ControlValue{c.value, c.value_minimum, c.value_maximum};
  control.handle = c.handle;
  return control;
}

struct Collected {
  ControlSearch search;
  std::exception_ptr thrown;

  template <typename Add>
  static void guarded(void* context, Add&& add) {
    auto* self = static_cast<Collected*>(context);
    try {
      if (!self->thrown) add(*self);
    } catch (...) {
      self->thrown = std::current_exception();
    }
  }
  static void control(void* context, const virelo_control* c) {
    guarded(context, [c](Collected& self) { self.search.controls.push_back(controlOf(*c)); });
  }
  static void unanswering(void* context, const char* name) {
    guarded(context, [name](Collected& self) { self.search.unanswering.emplace_back(name); });
  }
};

class ModuleControls final : public Controls {
 public:
  ModuleControls(const Table& table, virelo_controls* controls)
      : table_(table), controls_(controls) {}
  ~ModuleControls() override { table_.controls_close(controls_); }
  ModuleControls(const ModuleControls&) = delete;
  ModuleControls& operator=(const ModuleControls&) = delete;

  Reach reach() override;
  ControlSearch find(const ControlFilter& filter) override;
  std::vector<std::string> roleNames() override;
  std::string act(std::uint64_t handle, const std::optional<std::string>& action) override;

 private:
  const Table& table_;
  virelo_controls* controls_;
};

Controls::Reach ModuleControls::reach() {
  virelo_accessibility_error error{};
  std::exception_ptr none;
  const int32_t reach = table_.controls_reach(controls_, &error);
  check(error, none);
  if (reach == VIRELO_CONTROLS_READY) return Reach::ready;
  return reach == VIRELO_CONTROLS_SWITCHED_OFF ? Reach::switchedOff : Reach::noBus;
}

ControlSearch ModuleControls::find(const ControlFilter& filter) {
  Collected collected;
  Predicate name{filter.name, collected.thrown};
  Predicate application{filter.application, collected.thrown};
  Predicate container{filter.container, collected.thrown};
  const virelo_controls_filter c{filter.role ? filter.role->c_str() : nullptr, name.filter(),
                                 application.filter(), filter.all ? 1 : 0, container.filter()};
  const virelo_control_sink sink{&Collected::control, &Collected::unanswering, &collected};
  virelo_accessibility_error error{};
  table_.controls_find(controls_, &c, &sink, &error);
  check(error, collected.thrown);
  return std::move(collected.search);
}

std::vector<std::string> ModuleControls::roleNames() {
  struct Names {
    std::vector<std::string> names;
    std::exception_ptr thrown;
  } names;
  auto add = [](void* context, const char* name) {
    auto* self = static_cast<Names*>(context);
    try {
      if (!self->thrown) self->names.emplace_back(name);
    } catch (...) {
      self->thrown = std::current_exception();
    }
  };
  virelo_accessibility_error error{};
  table_.controls_role_names(controls_, add, &names, &error);
  check(error, names.thrown);
  return std::move(names.names);
}

std::string ModuleControls::act(std::uint64_t handle, const std::optional<std::string>& action) {
  struct Done {
    std::string name;
    std::exception_ptr thrown;
  } done;
  auto take = [](void* context, const char* name) {
    auto* self = static_cast<Done*>(context);
    try {
      self->name = name;
    } catch (...) {
      self->thrown = std::current_exception();
    }
  };
  virelo_accessibility_error error{};
  table_.controls_act(controls_, handle, action ? action->c_str() : nullptr, take, &done, &error);
  if (done.thrown) std::rethrow_exception(done.thrown);
  if (error.kind != VIRELO_ACCESSIBILITY_OK) throw std::runtime_error(error.message);
  return std::move(done.name);
}

}  // namespace

std::shared_ptr<Controls> openControls(const EnvironmentLookup& environment,
                                       const std::string& display,
                                       std::chrono::milliseconds timeout) {
  accessibility::Module module{};
  try {
    module = accessibility::loadModule(environment);
  } catch (const accessibility::ModuleError& e) {
    throw ControlsUnavailable(e.what());
  }
  virelo_accessibility_error error{};
  virelo_controls* controls =
      module.table->controls_open(display.c_str(), static_cast<int32_t>(timeout.count()), &error);
  if (controls == nullptr) {
    throw ControlsUnavailable("the accessibility module " + module.path +
                              " cannot read controls: " + error.message);
  }
  return std::make_shared<ModuleControls>(*module.table, controls);
}

}  // namespace virelo::client
