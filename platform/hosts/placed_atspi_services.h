// The accessibility services of a Wayland desktop whose compositor tells where its windows are:
// AT-SPI's elements, which a Wayland application places inside its own windows only, placed on
// the screen (placed_accessibility.h) by the compositor's windows, `Windows`, which are also the
// window list and the displays of snap target discovery. There is no X server: the applications
// are told from /proc alone.
#pragma once

#include <memory>
#include <utility>

#include "platform/atspi/atspi_accessibility.h"
#include "platform/hosts/linux_accessibility.h"
#include "platform/hosts/placed_accessibility.h"
#include "platform/procfs/process_applications.h"

namespace virelo::hosts {

// The inner accessibility's window list: never asked, as the placed hit test does its own.
class NoWindows final : public WindowList {
 public:
  std::optional<nlohmann::json> copyWindowInfo(std::uint32_t, std::uint32_t) override {
    return nlohmann::json::array();
  }
};

template <typename Windows>
class PlacedAtspiServices final
    : public LinuxAccessibility,
      public std::enable_shared_from_this<PlacedAtspiServices<Windows>> {
 public:
  // `source` is what the compositor's windows are made from.
  template <typename Source>
  explicit PlacedAtspiServices(Source source)
      : windows_(std::move(source)), atspi_(none_), placed_(atspi_, windows_) {}

  AccessibilityServices services() override {
    return {placed_, windows_, windows_, applications_, this->shared_from_this()};
  }

 private:
  Windows windows_;
  procfs::ProcessApplications applications_;
  NoWindows none_;
  atspi::AtspiAccessibility atspi_;
  PlacedAccessibility placed_;
};

}  // namespace virelo::hosts
