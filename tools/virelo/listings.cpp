#include "tools/virelo/listings.h"

#include <xkbcommon/xkbcommon.h>

#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "tools/virelo/client_commands.h"
#include "tools/virelo/registry_library.h"
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
  const RegistryLibrary* rxkb = registryLibrary();
  if (rxkb == nullptr) {
    throw std::runtime_error("cannot open libxkbregistry.so.0 (is libxkbregistry0 installed?)");
  }
  auto unref = [rxkb](rxkb_context* context) { rxkb->contextUnref(context); };
  std::unique_ptr<rxkb_context, decltype(unref)> context(rxkb->contextNew(RXKB_CONTEXT_NO_FLAGS),
                                                         unref);
  if (!context || !rxkb->parseDefaultRuleset(context.get())) {
    throw std::runtime_error("cannot read the keyboard layout registry (is xkb-data installed?)");
  }
  for (rxkb_layout* layout = rxkb->layoutFirst(context.get()); layout != nullptr;
       layout = rxkb->layoutNext(layout)) {
    std::string name = rxkb->layoutName(layout);
    if (const char* variant = rxkb->layoutVariant(layout)) {
      // Appended piece by piece: g++ 12 at -O3 reports a false overlap (-Wrestrict) in the
      // inlined concatenation.
      name += '(';
      name += variant;
      name += ')';
    }
    const char* description = rxkb->layoutDescription(layout);
    out << name << '\t' << (description != nullptr ? description : "") << '\n';
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
