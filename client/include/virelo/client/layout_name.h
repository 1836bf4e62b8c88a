// The name of an XKB keyboard layout: rules, model, layout, variant and options, as given to
// setxkbmap (for example layout "fr" with variant "azerty").
#pragma once

#include <compare>
#include <string>
#include <string_view>

namespace virelo::client {

struct LayoutName {
  std::string rules = "evdev";
  std::string model = "pc105";
  std::string layout = "us";
  std::string variant;
  std::string options;

  auto operator<=>(const LayoutName&) const = default;
};

// Reads "LAYOUT" or "LAYOUT(VARIANT)", e.g. "de" or "us(intl)"; throws UnknownLayout when the
// text is empty or malformed.
LayoutName parseLayoutName(std::string_view text);

// "LAYOUT" or "LAYOUT(VARIANT)", followed by "[options]" when options are set.
std::string describe(const LayoutName& name);

}  // namespace virelo::client
