#include <algorithm>

#include "virelo/client/errors.h"
#include "virelo/client/layouts.h"

namespace virelo::client {
namespace {

// XKB names are letters, digits and a few punctuation characters; this keeps paths and include
// syntax out of them.
bool plainName(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
  });
}

std::string valueOr(const EnvironmentLookup& environment, const char* name, std::string fallback) {
  const char* value = environment(name);
  return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

}  // namespace

LayoutName parseLayoutName(std::string_view text) {
  LayoutName name;
  std::string_view layout = text;
  std::string_view variant;
  if (auto open = text.find('('); open != std::string_view::npos) {
    if (!text.ends_with(')')) throw UnknownLayout(std::string(text));
    layout = text.substr(0, open);
    variant = text.substr(open + 1, text.size() - open - 2);
    if (!plainName(variant)) throw UnknownLayout(std::string(text));
  }
  if (!plainName(layout)) throw UnknownLayout(std::string(text));
  name.layout = layout;
  name.variant = variant;
  return name;
}

std::string describe(const LayoutName& name) {
  std::string text = name.layout;
  if (!name.variant.empty()) text += "(" + name.variant + ")";
  if (!name.options.empty()) text += "[" + name.options + "]";
  return text;
}

LayoutName layoutNameFromEnvironment(const EnvironmentLookup& environment) {
  LayoutName name;
  name.rules = valueOr(environment, "XKB_DEFAULT_RULES", name.rules);
  name.model = valueOr(environment, "XKB_DEFAULT_MODEL", name.model);
  name.layout = valueOr(environment, "XKB_DEFAULT_LAYOUT", name.layout);
  name.variant = valueOr(environment, "XKB_DEFAULT_VARIANT", name.variant);
  name.options = valueOr(environment, "XKB_DEFAULT_OPTIONS", name.options);
  return name;
}

}  // namespace virelo::client
