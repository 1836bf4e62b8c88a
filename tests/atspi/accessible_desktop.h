// A private accessible desktop for tests against the real accessibility bus: an Xvfb X server, a
// private D-Bus session bus, the accessibility bus (at-spi-bus-launcher, switched on as a user's
// setting would be) and GTK 3 applications (gtk_app.py) with controls at known places. This
// process's DISPLAY and DBUS_SESSION_BUS_ADDRESS point at them. Everything started here is
// stopped by the destructor.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "tests/support/private_dir.h"
#include "tests/support/service_process.h"
#include "tests/support/xvfb_server.h"

namespace virelo::test {

// Debian's Python, which has the GTK and Qt bindings the test applications need.
inline constexpr const char* kPython = "/usr/bin/python3";

class AccessibleDesktop {
 public:
  // One running gtk_app.py: its process and the screen frame of its button "Press". The button
  // "Off" (disabled) lies 60 points below it, the check box "Tick" 120 points below it.
  struct App {
    pid_t pid = -1;
    int input = -1;
    int output = -1;
    Rect press;
  };

  // With `asServiceUser` the buses and applications run as the service user (tests/support), with
  // a private directory of that user as HOME and XDG_RUNTIME_DIR, so that a service running as
  // that user can reach them; Xvfb then runs as root. The buses admit root too.
  explicit AccessibleDesktop(bool asServiceUser = false);
  ~AccessibleDesktop();
  AccessibleDesktop(const AccessibleDesktop&) = delete;
  AccessibleDesktop& operator=(const AccessibleDesktop&) = delete;

  // Empty when everything runs; otherwise why not (for skipping).
  const std::string& unavailable() const { return unavailable_; }
  const std::string& display() const { return xvfb_->display(); }
  // The session bus's address.
  const std::string& sessionBus() const { return sessionBusAddress_; }
  // Options for the real service on this desktop: the "linux" host with "cgevent", this X server
  // and this session bus (so that the service never looks for a bus of its own), this process's
  // HOME and XDG_RUNTIME_DIR (the desktop's own with `asServiceUser`); without the simulated
  // host's trace and control.
  ServiceOptions serviceOptions() const;

  // Starts gtk_app.py with its window at (x, y), with GTK's scale `scale` (GDK_SCALE), and waits
  // until its tree is on the bus; the returned App has pid -1 when it did not come up. Positions
  // and frames are in the X server's pixels. With `buttons` the window holds a grid of that many
  // buttons instead, and `press` is the frame of one of them (see gtk_app.py).
  const App& startApp(int x, int y, int scale = 1, int buttons = 0);
  // Starts a stand-in for a screen reader (screen_reader.py), which listens to the object events of
  // every application, and waits until it listens: applications send those events only while
  // some client listens to them. False when it does not come up. It runs until the desktop stops
  // or is reset.
  bool startScreenReader();
  // Switches the accessibility bus on or off, as the user's setting does.
  bool setEnabled(bool on);
  // Stops the accessibility bus (its launcher, bus and registry) and starts it anew, switched on;
  // false when it does not come back.
  bool restartAccessibilityBus();
  // Sends the application one line (without its newline) and returns the line it answers with,
  // empty when it does not answer within a few seconds.
  static std::string ask(const App& app, const std::string& line);
  // Starts the window manager openbox on the display and waits until it manages windows; false
  // when it is not installed or does not come up. It runs until the desktop stops or is reset.
  bool startWindowManager();
  // Stops every application, the window manager and the screen reader, which invalidates every
  // App returned so far: the next test of a binary that shares one desktop starts from the
  // server and the buses alone.
  void reset();

 private:
  bool startBuses();
  bool startAccessibilityBus();
  // Whether the accessibility bus's launcher holds its name on the session bus.
  bool busNameOwned();
  pid_t spawn(const std::vector<std::string>& args, int in, int out);

  bool asServiceUser_;
  std::unique_ptr<PrivateDir> home_;
  std::unique_ptr<XvfbServer> xvfb_;
  pid_t sessionBus_ = -1;
  std::string sessionBusAddress_;
  pid_t launcher_ = -1;
  pid_t windowManager_ = -1;
  pid_t screenReader_ = -1;
  std::vector<std::unique_ptr<App>> apps_;
  std::string unavailable_;
};

}  // namespace virelo::test
