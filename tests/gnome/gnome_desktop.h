// The fixture of the GNOME end-to-end tests: a headless GNOME session (gnome_session.h) with the
// GTK receiver as a native Wayland application, the real service on it (VL_HOST=gnome, backend
// "cgevent", as the service user) and an authenticated client of the client library.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "tests/gnome/gnome_session.h"
#include "tests/support/gtk_receiver.h"
#include "tests/support/service_process.h"
#include "virelo/client/client.h"

namespace virelo::test {

class GnomeDesktop : public testing::Test {
 protected:
  // Skips the test with its reason when the compositor, PipeWire or GTK 3 for Python are missing.
  void SetUp() override;
  // The service writes nothing but its event lines, also through the compositor's bus.
  void TearDown() override;

  // Starts the session, the receiver and the service, and waits until the service is ready;
  // gnome-shell's overview, which it shows at its start, is closed before the receiver starts.
  void startDesktop(Compositor compositor = Compositor::mutter);
  // Starts the session and the service only, and connects the client.
  void startService(Compositor compositor = Compositor::mutter);
  // Makes sure the receiver's window takes clicks.
  void warmUp();
  // Moves the pointer to the point of the desk with the client's relative moves: first onto the
  // desk's top edge 64 points from its left one (below and right of gnome-shell's hot corner),
  // where the service stops it, then on from there, ending with a step to and fro.
  void moveTo(ScreenPoint target);
  // Where the receiver's window is on the desk: the test session's compositor centres new
  // windows (gnome_session.sh), under gnome-shell in the area below its top bar.
  ScreenPoint windowOrigin() const;
  // The centre of the receiver's widget on the desk.
  ScreenPoint centre(const std::string& widget) const;

  GtkReceiver& app() { return *receiver_; }
  std::optional<GnomeSession> session_;
  std::optional<GtkReceiver> receiver_;
  std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<client::Client> client_;
  Compositor compositor_ = Compositor::mutter;
};

// The same under gnome-shell (its window actors place the windows), started in SetUp; skipped where
// gnome-shell cannot run.
class GnomeShellDesktop : public GnomeDesktop {
 protected:
  void SetUp() override {
    GnomeDesktop::SetUp();
    if (IsSkipped()) return;
    if (auto reason = GnomeSession::missing(Compositor::shell); !reason.empty()) {
      GTEST_SKIP() << reason;
    }
    startDesktop(Compositor::shell);
  }
};

}  // namespace virelo::test
