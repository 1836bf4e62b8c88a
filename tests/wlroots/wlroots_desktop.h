// The fixture of the wlroots end-to-end tests: a private headless sway, the real service on it
// (VL_HOST=wlroots, backend "cgevent", as the service user), the GTK receiver as a native Wayland
// application, and an authenticated client of the client library; for snapping, the buses of
// accessibility too. Skips where sway, GTK 3 for Python or the buses are not installed.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "tests/support/gtk_receiver.h"
#include "tests/support/service_process.h"
#include "tests/wlroots/accessibility_bus.h"
#include "tests/wlroots/sway_compositor.h"
#include "virelo/client/client.h"

namespace virelo::test {

class WlrootsDesktop : public testing::Test {
 protected:
  // The first output's centre, where the host takes the pointer to be until it placed it.
  static constexpr ScreenPoint kStart{640, 400};

  void SetUp() override { start(false); }
  // Starts everything; with `accessible`, a session bus with the accessibility bus too, which the
  // service and the receiver use.
  void start(bool accessible);
  // The centre of the receiver's widget on the screen.
  ScreenPoint centre(const std::string& widget) const;
  // Moves the pointer by relative moves from `from` to `to`.
  void moveBy(ScreenPoint from, ScreenPoint to);

  std::optional<SwayCompositor> sway_;
  std::optional<AccessibilityBus> bus_;
  std::unique_ptr<ServiceProcess> service_;
  std::optional<GtkReceiver> app_;
  std::unique_ptr<client::Client> client_;
  Rect window_;
};

}  // namespace virelo::test
