#include "platform/hosts/host_registry.h"

#include <cstdlib>
#include <utility>

#include "platform/hosts/host_factories.h"

#if !defined(VIRELO_WITH_UHID_HOST) || !defined(VIRELO_WITH_LINUX_HOST)
#error "VIRELO_WITH_UHID_HOST and VIRELO_WITH_LINUX_HOST must say which hosts are built"
#endif
#ifndef VIRELO_WITH_GNOME_HOST
#error "VIRELO_WITH_GNOME_HOST must say whether the GNOME host is built"
#endif

namespace virelo {
namespace {

// One line per host this build has.
constexpr std::pair<std::string_view, HostFactory> kHosts[] = {
    {"sim", &hosts::makeSimHost},
#if VIRELO_WITH_UHID_HOST
    {"uhid", &hosts::makeUhidHost},
#endif
#if VIRELO_WITH_LINUX_HOST
    {"linux", &hosts::makeLinuxHost},
#endif
#if VIRELO_WITH_KDE_HOST
    {"kde", &hosts::makeKdeHost},
#endif
#if VIRELO_WITH_GNOME_HOST
    {"gnome", &hosts::makeGnomeHost},
#endif
#if defined(VIRELO_WITH_WLROOTS_HOST) && VIRELO_WITH_WLROOTS_HOST
    {"wlroots", &hosts::makeWlrootsHost},
#endif
};

}  // namespace

HostFactory hostFactory(std::string_view name) {
  for (const auto& [hostName, factory] : kHosts) {
    if (hostName == name) return factory;
  }
  return nullptr;
}

std::unique_ptr<Host> hostFromEnvironment() {
  const char* name = std::getenv(kHostVariable);
  HostFactory factory = hostFactory(name == nullptr ? "sim" : name);
  return factory == nullptr ? nullptr : factory();
}

}  // namespace virelo
