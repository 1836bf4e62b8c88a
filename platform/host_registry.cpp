#include "platform/host_registry.h"

#include <array>
#include <cstdlib>
#include <utility>

#include "platform/sim/sim_platform_host.h"
#include "platform/uhid/uhid_platform_host.h"
#include "platform/x11/linux_platform_host.h"

namespace virelo {
namespace {

// One line per host.
constexpr std::array<std::pair<std::string_view, HostFactory>, 3> kHosts = {{
    {"sim", &sim::makeSimPlatformHost},
    {"uhid", &uhid::makeUhidPlatformHost},
    {"linux", &x11::makeLinuxPlatformHost},
}};

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
