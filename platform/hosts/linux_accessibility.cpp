#include "platform/hosts/linux_accessibility.h"

#include "platform/atspi/atspi_accessibility.h"
#include "platform/procfs/process_applications.h"
#include "platform/x11/x11_window_list.h"

namespace virelo::hosts {
namespace {

class AtspiServices final : public LinuxAccessibility,
                            public std::enable_shared_from_this<AtspiServices> {
 public:
  explicit AtspiServices(const std::string& display)
      : windows_(display),
        applications_([this](std::int32_t pid) { return windows_.windowClassOf(pid); }),
        accessibility_(windows_) {}

  AccessibilityServices services() override {
    return {accessibility_, windows_, windows_, applications_, shared_from_this()};
  }

 private:
  x11::X11WindowList windows_;
  procfs::ProcessApplications applications_;
  atspi::AtspiAccessibility accessibility_;
};

}  // namespace

std::shared_ptr<LinuxAccessibility> makeAtspiLinuxAccessibility(const std::string& display) {
  if (display.rfind(kSwayDisplayPrefix, 0) == 0) {
#if VIRELO_WITH_WLROOTS_ACCESSIBILITY
    return makeAtspiWlrootsAccessibility(display.substr(kSwayDisplayPrefix.size()));
#else
    return nullptr;
#endif
  }
  if (display == kKdeDisplay) {
#if VIRELO_WITH_KDE_ACCESSIBILITY
    return makeAtspiKdeAccessibility();
#else
    return nullptr;
#endif
  }
  if (display == kGnomeDisplay) return makeAtspiGnomeAccessibility();
  return std::make_shared<AtspiServices>(display);
}

}  // namespace virelo::hosts
