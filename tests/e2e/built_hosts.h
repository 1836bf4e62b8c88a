// The hosts by name that the service of this build has (VIRELO_BUILT_HOSTS, set by the build as
// a comma-separated list), for the tests that need a host other than the simulated one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#ifndef VIRELO_BUILT_HOSTS
#error "VIRELO_BUILT_HOSTS must list the hosts of this build"
#endif

namespace virelo::test {

inline bool hostBuilt(std::string_view name) {
  std::string_view rest = VIRELO_BUILT_HOSTS;
  while (!rest.empty()) {
    const auto comma = rest.find(',');
    if (rest.substr(0, comma) == name) return true;
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  return false;
}

// The names of the real hosts that this build leaves out.
inline std::vector<std::string> unbuiltHosts() {
  std::vector<std::string> names;
  for (const char* name : {"uhid", "linux", "kde", "gnome", "wlroots"}) {
    if (!hostBuilt(name)) names.emplace_back(name);
  }
  return names;
}

}  // namespace virelo::test
