// The service's readiness following the compositor.
#include "tests/gnome/gnome_desktop.h"

namespace virelo::test {
namespace {

class GnomeAvailability : public GnomeDesktop {
 protected:
  void SetUp() override {
    GnomeDesktop::SetUp();
    if (!IsSkipped()) startService();
  }
};

TEST_F(GnomeAvailability, WhenTheCompositorEndsTheServiceSaysItIsNotReady) {
  session_->stopCompositor();
  std::optional<nlohmann::json> status;
  while (auto event = service_->readEvent(5s)) {
    if ((*event)["type"] == "status") {
      status = event;
      break;
    }
  }
  ASSERT_TRUE(status);
  EXPECT_EQ((*status)["ready"], false);
  EXPECT_EQ((*status)["error"], "virtual_hid_accessibility_required");
  EXPECT_TRUE(service_->running());
}

}  // namespace
}  // namespace virelo::test
