// The fixture of the KDE end-to-end tests: a private headless KWin session (kde_session.sh: a
// session bus, the accessibility bus, KWin on Wayland) with the GTK receiver on it as a native
// Wayland application, started once for all the tests of a suite and run as the service user;
// and for each test the real service on it (VL_HOST=kde, backend "cgevent", as the service user),
// from a copy that a desktop file in the session's data directory names, so that KWin lets it use
// its fake input.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/gtk_receiver.h"
#include "tests/support/service_process.h"
#include "virelo/client/client.h"

namespace virelo::test {

class KdeDesktop : public testing::Test {
 protected:
  // Starts the session and the receiver; what is missing or failed skips every test of the suite.
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  // Skips the test with the reason when the session could not be made.
  void SetUp() override;
  // Stops the service, which must end at once and have written nothing to standard error.
  void TearDown() override;

  // Starts the service; with `admitted` false from a copy that no desktop file names. With
  // `awaitReady`, reads its lines until the ready event (within 15 s).
  void startService(bool admitted = true, bool awaitReady = true);
  // A new authenticated client of the service.
  std::unique_ptr<client::Client> connect();
  // The session's environment: its runtime directory, buses and Wayland display.
  static std::map<std::string, std::string> sessionEnvironment();
  // The session's environment for the command-line tool, naming the service (VL_HOST=kde).
  std::map<std::string, std::string> toolEnvironment() const;
  // The centre of a widget of the receiver in the compositor's coordinates.
  ScreenPoint centre(const std::string& widget);
  // Moves the pointer from the service's start (the centre of the output) to the point.
  void moveTo(client::Client& client, ScreenPoint target);

  // The text of the receiver's entry, read over the accessibility bus once it equals `expected`
  // or after 5 s; nullopt when the entry is not found there.
  std::optional<std::string> entryText(const std::string& expected);

  GtkReceiver& app();
  std::unique_ptr<ServiceProcess> service_;

 private:
  ScreenPoint cursor_{640, 400};
};

}  // namespace virelo::test
