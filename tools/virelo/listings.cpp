#include "tools/virelo/listings.h"

#include <xkbcommon/xkbcommon.h>

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
  for (const auto& layout : client::knownLayouts()) {
    out << layout.name << '\t' << layout.description << '\n';
  }
}

void listKeys(std::ostream& out, const client::KeyboardLayout& layout) {
  // Each key's keysyms, cheapest level first.
  std::map<int, std::vector<std::pair<std::uint8_t, std::string>>> byKey;
  for (const auto& [keysym, stroke] : layout.keysyms()) {
    byKey[stroke.usage].emplace_back(stroke.modifiers, keysymName(keysym));
  }
  out << "# keys of the layout " << layout.description() << ": position name, then keysym names\n";
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

int runListLayouts(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("\"list-layouts\" takes no arguments");
  listLayouts(std::cout);
  return 0;
}

int runListKeys(const ToolArguments& args) {
  if (!args.operands.empty()) throw UsageError("\"list-keys\" takes no arguments");
  listKeys(std::cout, *layoutOf(args));
  return 0;
}

}  // namespace virelo::tools
