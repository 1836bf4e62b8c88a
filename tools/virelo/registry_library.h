// libxkbregistry, opened on first use: only "list-layouts" reads the registry of layouts, and
// linking it would load it at every start of the tool, with libxml2 and ICU behind it (most of
// the dynamic loader's work in a start of "virelo type").
#pragma once

#include <xkbcommon/xkbregistry.h>

namespace virelo::tools {

struct RegistryLibrary {
  decltype(&::rxkb_context_new) contextNew;
  decltype(&::rxkb_context_unref) contextUnref;
  decltype(&::rxkb_context_parse_default_ruleset) parseDefaultRuleset;
  decltype(&::rxkb_layout_first) layoutFirst;
  decltype(&::rxkb_layout_next) layoutNext;
  decltype(&::rxkb_layout_get_name) layoutName;
  decltype(&::rxkb_layout_get_variant) layoutVariant;
  decltype(&::rxkb_layout_get_description) layoutDescription;
};

// The library's functions, or nullptr when libxkbregistry.so.0 cannot be opened.
const RegistryLibrary* registryLibrary();

}  // namespace virelo::tools
