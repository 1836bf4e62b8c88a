// The fixture of the X11 end-to-end tests: a private Xvfb with the GTK receiver, the real service
// on it (VL_HOST=linux, backend "cgevent", as the service user), an authenticated client of the
// client library, and an independent X client that reads the server's state.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/gtk_receiver.h"
#include "tests/support/service_process.h"
#include "tests/support/x_probe.h"
#include "virelo/client/client.h"

namespace virelo::test {

class X11Desktop : public testing::Test {
 protected:
  // Skips the test with its reason when Xvfb or GTK 3 for Python are not installed.
  void SetUp() override;

  // Starts Xvfb, the GTK receiver, the probe and the service, and waits until it is ready.
  void startDesktop();
  // Starts the service on the display without waiting for its first line.
  void startService(const std::string& display);
  // A new authenticated client of the service.
  std::unique_ptr<client::Client> connect();
  // Moves the pointer there with relative moves of `client`, checking each with the probe.
  void moveTo(client::Client& client, ScreenPoint target);
  // Waits up to 2 s until the X server holds no key and no button; true when it does.
  bool serverHoldsNothing();
  // Waits up to 2 s until the X server holds a key and a button; true when it does.
  bool serverHoldsSomething();

  GtkReceiver& app() { return *desktop_->receiver; }
  std::unique_ptr<VirtualDesktop> desktop_;
  std::unique_ptr<XProbe> probe_;
  std::unique_ptr<ServiceProcess> service_;
};

}  // namespace virelo::test
