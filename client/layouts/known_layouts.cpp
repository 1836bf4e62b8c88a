// The list of layouts, from libxkbregistry opened at run time: linking it would load it, and
// libxml2 and ICU behind it, at every start of every program of the library.
#include <dlfcn.h>
#include <xkbcommon/xkbregistry.h>

#include <memory>
#include <optional>

#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"

namespace virelo::client {
namespace {

struct Registry {
  decltype(&::rxkb_context_new) contextNew;
  decltype(&::rxkb_context_unref) contextUnref;
  decltype(&::rxkb_context_parse_default_ruleset) parseDefaultRuleset;
  decltype(&::rxkb_layout_first) layoutFirst;
  decltype(&::rxkb_layout_next) layoutNext;
  decltype(&::rxkb_layout_get_name) layoutName;
  decltype(&::rxkb_layout_get_variant) layoutVariant;
  decltype(&::rxkb_layout_get_description) layoutDescription;
};

template <typename F>
bool resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(::dlsym(library, name));
  return function != nullptr;
}

// The library's functions, or nothing when it cannot be opened. Never closed: what it returned
// may be kept by the caller's strings only, but the process keeps it for its life anyway.
std::optional<Registry> openRegistry() {
  void* handle = ::dlopen("libxkbregistry.so.0", RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return std::nullopt;
  Registry r{};
  if (!resolve(handle, "rxkb_context_new", r.contextNew) ||
      !resolve(handle, "rxkb_context_unref", r.contextUnref) ||
      !resolve(handle, "rxkb_context_parse_default_ruleset", r.parseDefaultRuleset) ||
      !resolve(handle, "rxkb_layout_first", r.layoutFirst) ||
      !resolve(handle, "rxkb_layout_next", r.layoutNext) ||
      !resolve(handle, "rxkb_layout_get_name", r.layoutName) ||
      !resolve(handle, "rxkb_layout_get_variant", r.layoutVariant) ||
      !resolve(handle, "rxkb_layout_get_description", r.layoutDescription)) {
    return std::nullopt;
  }
  return r;
}

const Registry& registry() {
  static const std::optional<Registry> opened = openRegistry();
  if (!opened) throw Error("cannot open libxkbregistry.so.0 (is libxkbregistry0 installed?)");
  return *opened;
}

}  // namespace

std::vector<KnownLayout> knownLayouts() {
  const Registry& rxkb = registry();
  auto unref = [&rxkb](rxkb_context* context) { rxkb.contextUnref(context); };
  std::unique_ptr<rxkb_context, decltype(unref)> context(rxkb.contextNew(RXKB_CONTEXT_NO_FLAGS),
                                                         unref);
  if (!context || !rxkb.parseDefaultRuleset(context.get())) {
    throw Error("cannot read the keyboard layout registry (is xkb-data installed?)");
  }
  std::vector<KnownLayout> layouts;
  for (rxkb_layout* layout = rxkb.layoutFirst(context.get()); layout != nullptr;
       layout = rxkb.layoutNext(layout)) {
    std::string name = rxkb.layoutName(layout);
    if (const char* variant = rxkb.layoutVariant(layout)) {
      // Appended piece by piece: g++ 12 at -O3 reports a false overlap (-Wrestrict) in the
      // inlined concatenation.
      name += '(';
      name += variant;
      name += ')';
    }
    const char* description = rxkb.layoutDescription(layout);
    layouts.push_back({std::move(name), description != nullptr ? description : ""});
  }
  return layouts;
}

}  // namespace virelo::client
