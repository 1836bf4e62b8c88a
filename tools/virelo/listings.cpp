#include "tools/virelo/listings.h"

#include <xkbcommon/xkbcommon.h>
#include <xkbcommon/xkbregistry.h>

#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "tools/virelo/client_commands.h"
#include "virelo/client/client.h"
#include "virelo/client/keys.h"

namespace virelo::tools {
namespace {

struct RegistryUnref {
  void operator()(rxkb_context* context) const { rxkb_context_unref(context); }
};

std::string keysymName(std::uint32_t keysym) {
  char name[64];
  return xkb_keysym_get_name(keysym, name, sizeof(name)) > 0 ? name : "";
}

// The modifiers of a level, as a chord writes them.
std::string levelPrefix(std::uint8_t modifiers) {
  std::string prefix;
  if (modifiers & client::modifier::leftShift) prefix += "shift+";
  if (modifiers & client::modifier::rightAlt) prefix += "right-alt+";
  return prefix;
}

}  // namespace

void listLayouts(std::ostream& out) {
  std::unique_ptr<rxkb_context, RegistryUnref> context(rxkb_context_new(RXKB_CONTEXT_NO_FLAGS));
  if (!context || !rxkb_context_parse_default_ruleset(context.get())) {
    throw std::runtime_error("cannot read the keyboard layout registry (is xkb-data installed?)");
  }
  for (rxkb_layout* layout = rxkb_layout_first(context.get()); layout != nullptr;
       layout = rxkb_layout_next(layout)) {
    std::string name = rxkb_layout_get_name(layout);
    if (const char* variant = rxkb_layout_get_variant(layout))
      name += "(" + std::string(variant) + ")";
    const char* description = rxkb_layout_get_description(layout);
    out << name << '\t' << (description != nullptr ? description : "") << '\n';
  }
}

void listKeys(std::ostream& out, const client::KeyboardLayout& layout) {
  // Each key's keysyms, cheapest level first.
  std::map<int, std::vector<std::pair<std::uint8_t, std::string>>> byKey;
  for (const auto& [keysym, stroke] : layout.keysyms()) {
    byKey[stroke.usage].emplace_back(stroke.modifiers, keysymName(keysym));
  }
  out << "# keys of " << layout.description() << ": position name, then keysym names\n";
  for (auto& [usage, names] : byKey) {
    std::sort(names.begin(), names.end());
    out << client::keyName(usage);
    for (const auto& [modifiers, name] : names) out << ' ' << levelPrefix(modifiers) << name;
    out << '\n';
  }
  out << "# modifiers\nctrl shift alt gui right-ctrl right-shift right-alt right-gui "
         "(also control, option, cmd, command, super, meta)\n"
         "# media keys\nmute volume-up volume-down play-pause next previous "
         "(also XF86AudioMute, XF86AudioRaiseVolume, ...)\n"
         "# buttons\nleft middle right (also 1 2 3)\n";
}

int runListing(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("\"" + args.command + "\" takes no arguments");
  if (args.command == "list-layouts") {
    listLayouts(std::cout);
  } else {
    listKeys(std::cout, *layoutOf(args));
  }
  return 0;
}

}  // namespace virelo::tools
