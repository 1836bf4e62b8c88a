#include "platform/atspi/atspi_contents.h"

#include <stdexcept>

#include "platform/atspi/atspi_requests.h"

namespace virelo::atspi {
namespace {

// Frees a GError and tells whether there was one.
bool failed(GError*& error) {
  if (error == nullptr) return false;
  g_error_free(error);
  error = nullptr;
  return true;
}

std::string taken(gchar* text) {
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

}  // namespace

std::optional<std::string> textOf(AtspiAccessible* accessible) {
  AtspiText* text = request([&] { return atspi_accessible_get_text_iface(accessible); });
  if (text == nullptr) return std::nullopt;
  GError* error = nullptr;
  // An end of -1 is the end of the text.
  gchar* all = request([&] { return atspi_text_get_text(text, 0, -1, &error); });
  g_object_unref(text);
  if (failed(error)) {
    g_free(all);
    return std::nullopt;
  }
  return taken(all);
}

std::optional<ControlValue> valueOf(AtspiAccessible* accessible) {
  AtspiValue* value = request([&] { return atspi_accessible_get_value_iface(accessible); });
  if (value == nullptr) return std::nullopt;
  GError* error = nullptr;
  ControlValue read;
  read.current = request([&] { return atspi_value_get_current_value(value, &error); });
  bool bad = failed(error);
  read.minimum = request([&] { return atspi_value_get_minimum_value(value, &error); });
  bad = failed(error) || bad;
  read.maximum = request([&] { return atspi_value_get_maximum_value(value, &error); });
  bad = failed(error) || bad;
  g_object_unref(value);
  if (bad) return std::nullopt;
  return read;
}

bool enclosedBy(AtspiAccessible* accessible, const std::function<bool(std::string_view)>& accepts,
                int depth) {
  GError* error = nullptr;
  AtspiAccessible* node = request([&] { return atspi_accessible_get_parent(accessible, &error); });
  failed(error);
  bool found = false;
  for (int level = 0; node != nullptr && level < depth && !found; ++level) {
    const AtspiRole role = request([&] { return atspi_accessible_get_role(node, &error); });
    if (failed(error) || role == ATSPI_ROLE_APPLICATION) break;
    gchar* name = request([&] { return atspi_accessible_get_name(node, &error); });
    if (!failed(error)) found = accepts(taken(name));
    AtspiAccessible* parent = request([&] { return atspi_accessible_get_parent(node, &error); });
    failed(error);
    g_object_unref(node);
    node = parent;
  }
  if (node != nullptr) g_object_unref(node);
  return found;
}

std::string doAction(AtspiAccessible* accessible, const std::optional<std::string>& name) {
  AtspiAction* action = request([&] { return atspi_accessible_get_action_iface(accessible); });
  if (action == nullptr) throw std::runtime_error("it has no actions");
  GError* error = nullptr;
  const gint count = request([&] { return atspi_action_get_n_actions(action, &error); });
  std::optional<gint> chosen;
  std::string chosenName;
  for (gint i = 0; !failed(error) && i < count && !chosen; ++i) {
    std::string each =
        taken(request([&] { return atspi_action_get_action_name(action, i, &error); }));
    if (!name || each == *name) {
      chosen = i;
      chosenName = std::move(each);
    }
  }
  gboolean done = FALSE;
  if (chosen) done = request([&] { return atspi_action_do_action(action, *chosen, &error); });
  const bool refused = failed(error) || !done;
  g_object_unref(action);
  if (!chosen) {
    throw std::runtime_error(name ? "it has no action \"" + *name + "\"" : "it has no actions");
  }
  if (refused) throw std::runtime_error("it refused its action \"" + chosenName + "\"");
  return chosenName;
}

}  // namespace virelo::atspi
