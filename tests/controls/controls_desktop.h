// The fixture of the tests of acting on controls by name: an accessible desktop (tests/atspi) with
// its buses and the fixture applications running as the service user, the real service on it
// (VL_HOST=linux, backend "cgevent", as the service user) and a client of the client library
// connected to it.
//
// Who reaches what: the service needs only the X server. The client library's search runs
// libatspi in this process, whose D-Bus library ignores $DBUS_SESSION_BUS_ADDRESS while the
// process's real and effective users differ (as they do while this process acts as the service
// user), so the library's calls run as root (asRoot()); root may use the buses of any user. The
// command-line tool runs as the service user and reaches the buses as their owner.
//
// The desktop is one for the whole process: the D-Bus library keeps the session bus's address it
// first read for as long as the process lives. Each test starts its own applications and service.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "tests/atspi/accessible_desktop.h"
#include "tests/support/line_reader.h"
#include "tests/support/service_process.h"
#include "tests/support/service_user.h"
#include "virelo/client/client.h"
#include "virelo/client/controls.h"

namespace virelo::test {

using namespace std::chrono_literals;

// One fixture application (gtk_controls.py, qt_controls.py), as the service user, with its
// standard input and output on pipes. Stopped with the object.
class FixtureApp {
 public:
  // Starts the script with the arguments and waits until it says "ready"; pid() is -1 when it
  // did not.
  FixtureApp(const std::string& script, const std::vector<std::string>& args);
  ~FixtureApp();
  FixtureApp(const FixtureApp&) = delete;
  FixtureApp& operator=(const FixtureApp&) = delete;

  pid_t pid() const { return pid_; }
  void send(const std::string& line);
  // The next line, nullopt after the timeout or at the end of its output.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout = 10s);
  // Reads on until the line comes, and returns the lines read before it; nullopt when it does not
  // come within the timeout.
  std::optional<std::vector<std::string>> readUntil(const std::string& line,
                                                    std::chrono::milliseconds timeout = 10s);
  // Everything it said about input up to now: it handles every X event sent to it so far first.
  std::vector<std::string> heardSoFar();
  // Its answer to "text NAME": the text of the entry with that accessible name.
  std::string textOf(const std::string& entry);

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  LineReader reader_;
};

class ControlsTest : public testing::Test {
 public:
  // The fixture applications' program names, as the search reports them.
  static constexpr const char* kGtk = "gtk_controls.py";
  static constexpr const char* kQt = "qt_controls.py";
  // Where the applications' windows are placed.
  static constexpr int kWindowX = 100;
  static constexpr int kWindowY = 100;

  // Stops the desktop shared by the tests; called once all have run.
  static void stopDesktop();

 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the GTK application (at GTK's scale) or the Qt one at (kWindowX, kWindowY) and waits
  // until its button "OK" can be found.
  FixtureApp& startGtk(int scale = 1);
  FixtureApp& startQt();
  // Whether Qt 5 for Python (python3-pyqt5) is installed.
  static bool qtInstalled();

  // The library's view of the desktop, made as root.
  client::Desktop& desktop();
  // Runs fn as root and returns what it returns.
  template <class Fn>
  static auto asRoot(Fn&& fn) {
    using Result = decltype(fn());
    if constexpr (std::is_void_v<Result>) {
      ServiceUser::asRoot(fn);
    } else {
      std::optional<Result> result;
      ServiceUser::asRoot([&] { result.emplace(fn()); });
      return std::move(*result);
    }
  }
  // A query by role, exact name and application.
  static client::ControlQuery query(const std::string& role, const std::string& name,
                                    const std::string& application = kGtk);
  // The X pointer's position now.
  client::PointerPosition pointer() const;
  // The environment of the command-line tool: the service, the display, the session bus and the
  // accessibility module.
  std::map<std::string, std::string> toolEnvironment() const;

  static AccessibleDesktop& accessible() { return *accessible_; }
  client::Client& client() { return *client_; }

 private:
  FixtureApp& start(const std::string& script, const std::vector<std::string>& args,
                    const char* application);

  static std::unique_ptr<AccessibleDesktop> accessible_;
  std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<client::Client> client_;
  std::optional<client::Desktop> desktop_;
  std::vector<std::unique_ptr<FixtureApp>> apps_;
};

}  // namespace virelo::test
