#include "platform/x11/linux_accessibility.h"

#include "platform/atspi/atspi_accessibility.h"
#include "platform/x11/linux_applications.h"
#include "platform/x11/x11_window_list.h"

namespace virelo::x11 {
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
  X11WindowList windows_;
  LinuxApplications applications_;
  atspi::AtspiAccessibility accessibility_;
};

}  // namespace

std::shared_ptr<LinuxAccessibility> makeAtspiLinuxAccessibility(const std::string& display) {
  return std::make_shared<AtspiServices>(display);
}

}  // namespace virelo::x11
