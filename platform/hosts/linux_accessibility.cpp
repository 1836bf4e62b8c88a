#include "platform/hosts/linux_accessibility.h"

#include "platform/atspi/atspi_accessibility.h"
#include "platform/x11/linux_applications.h"
#include "platform/x11/x11_window_list.h"

namespace virelo::hosts {
namespace {

class AtspiServices final : public LinuxAccessibility,
                            public std::enable_shared_from_this<AtspiServices> {
 public:
  explicit AtspiServices(const std::string& display)
      : windows_(display), applications_(windows_), accessibility_(windows_) {}

  AccessibilityServices services() override {
    return {accessibility_, windows_, windows_, applications_, shared_from_this()};
  }

 private:
  x11::X11WindowList windows_;
  x11::LinuxApplications applications_;
  atspi::AtspiAccessibility accessibility_;
};

}  // namespace

std::shared_ptr<LinuxAccessibility> makeAtspiLinuxAccessibility(const std::string& display) {
  return std::make_shared<AtspiServices>(display);
}

}  // namespace virelo::hosts
