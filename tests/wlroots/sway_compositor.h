// A private, headless sway for the wlroots end-to-end tests: one 1280 x 800 output, no input
// devices, no XWayland, the pixman renderer, run as the service user with a runtime directory of
// its own (its Wayland socket and its IPC socket are there). Started by the constructor, stopped
// with the object. Its IPC is read with swaymsg, a client independent of the host under test.
//
// Threads: one test thread uses an object.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "platform/geometry.h"
#include "tests/support/child_process.h"
#include "tests/support/private_dir.h"

namespace virelo::test {

class SwayCompositor {
 public:
  // Throws std::runtime_error when sway does not offer its sockets within 10 s.
  SwayCompositor();

  // The variables a client of this compositor needs: XDG_RUNTIME_DIR, WAYLAND_DISPLAY, SWAYSOCK.
  std::map<std::string, std::string> environment() const;
  // The tree of containers (swaymsg -t get_tree); throws std::runtime_error when it is unreadable.
  nlohmann::json tree() const;
  // The screen rectangle of the surface of the window with that title, once the compositor has
  // placed it (within 5 s); nullopt otherwise.
  std::optional<Rect> windowSurface(const std::string& title) const;

  // Stops the compositor and waits for its end, as a session's compositor that goes away.
  void stop() { process_.reset(); }

  // Why the compositor cannot run on this machine (sway or swaymsg missing), or "" when it can.
  static std::string missing();

 private:
  bool outputReady() const;

  PrivateDir runtime_;
  std::unique_ptr<ChildProcess> process_;
  std::string display_;
  std::string ipc_;
};

}  // namespace virelo::test
