#include "tools/virelo/layout_choice.h"

#include "session/session_settings.h"
#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"

namespace virelo::tools {
namespace {

LayoutChoice named(const std::string& name, std::string source) {
  try {
    return {client::KeyboardLayout::named(client::parseLayoutName(name)), std::move(source)};
  } catch (const client::UnknownLayout& e) {
    if (source == "--layout") throw;
    throw UsageError(std::string(e.what()) + " (from " + source + ")");
  }
}

}  // namespace

LayoutChoice chooseLayout(const ToolArguments& args, const client::EnvironmentLookup& environment) {
  if (args.layout) {
    if (*args.layout == "active") return {client::activeLayout(environment), "--layout active"};
    return named(*args.layout, "--layout");
  }
  if (const char* display = environment("DISPLAY"); display != nullptr && *display != '\0') {
    if (auto layout = client::x11Layout(display)) return {layout, "the X server"};
  }
  if (const char* name = environment("VIRELO_LAYOUT"); name != nullptr && *name != '\0') {
    return named(name, "$VIRELO_LAYOUT");
  }
  if (auto path = session::configFile(environment)) {
    if (auto layout = session::readConfig(*path).layout) return named(*layout, *path);
  }
  return {client::KeyboardLayout::named(client::layoutNameFromEnvironment(environment)),
          "the default"};
}

}  // namespace virelo::tools
