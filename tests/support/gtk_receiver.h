// The real receiving application of the X11 tests and demo: tests/support/gtk_receiver.py (a GTK 3
// window with an entry, a button, a scrollable area and a drag area) on a given display, and the
// JSON lines it logs about what it received. It stops with the object.
//
// Threads: one thread uses an object.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/xvfb_server.h"

namespace virelo::test {

using namespace std::chrono_literals;

struct ScreenPoint {
  int x = 0;
  int y = 0;
};

class GtkReceiver {
 public:
  // Starts the application with its window's top-left corner at (x, y) and waits (up to 20 s)
  // until it holds the keyboard focus; throws std::runtime_error when it does not.
  GtkReceiver(const std::string& display, int x, int y);
  // Starts it as `options` say (the script and its arguments, the environment: a Wayland
  // session's, say) and waits the same way; the window's places are then those the toolkit tells.
  explicit GtkReceiver(ChildOptions options);
  // The same on another display (a Wayland compositor's): started through `launcher` (a command
  // that runs the rest of its arguments, as another user for example; may be empty) with the
  // environment given, which names the display and the toolkit's backend. Where the display does
  // not tell windows where they are (Wayland), the widgets' places are relative to the window.
  GtkReceiver(const std::vector<std::string>& launcher,
              const std::map<std::string, std::string>& environment);
  // The same, started with these options (the environment of another display server, its user);
  // the script and its place in argv are added here.
  GtkReceiver(ChildOptions options, int x, int y);

  // The centre of a widget ("entry", "button", "scroll", "drag") in root-window coordinates.
  ScreenPoint centre(const std::string& widget) const;
  // A widget's rectangle as the ready event gave it ("x", "y", "width", "height").
  const nlohmann::json& place(const std::string& widget) const { return places_.at(widget); }
  // Reads on until an event matches and returns it; nullopt when none comes within the timeout.
  std::optional<nlohmann::json> next(const std::function<bool(const nlohmann::json&)>& match,
                                     std::chrono::milliseconds timeout = 5s);
  // Reads on until nothing arrives for `quiet`; returns what arrived.
  std::vector<nlohmann::json> drain(std::chrono::milliseconds quiet = 300ms);

  // The script and the interpreter it needs (Debian's, which has python3-gi).
  static std::string script();
  static const char* interpreter() { return "/usr/bin/python3"; }

 private:
  std::optional<nlohmann::json> read(std::chrono::milliseconds timeout);

  ChildProcess process_;
  nlohmann::json places_;
};

// Xvfb and the GTK application together, for tests that need a real desktop.
struct VirtualDesktop {
  std::unique_ptr<XvfbServer> server;
  std::optional<GtkReceiver> receiver;

  // Starts both, the window at (x, y); server->available() is false when Xvfb did not start.
  explicit VirtualDesktop(int x = 0, int y = 0);

  // Starts an Xvfb for a virtual desktop (on the display number when given): one 1024 x 768
  // screen, open to every local user (-ac, so that the service user may connect to a server
  // started as root), never reset when its last client leaves. Started as root when the test
  // process may act as root.
  static std::unique_ptr<XvfbServer> startServer(std::optional<int> number = std::nullopt);
  // A display number that no X server uses now (no lock file, no socket), from 90 up.
  static int freeDisplayNumber();

  // Why a virtual desktop cannot be made on this machine (Xvfb, python3-gi or GTK 3 missing), or
  // an empty string when it can. Checked once.
  static const std::string& missing();
};

}  // namespace virelo::test
