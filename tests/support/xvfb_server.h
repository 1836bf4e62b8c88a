// A private Xvfb X server, for tests against a real X server: the client's keyboard layout, the
// X11 window server host. Started by the constructor, stopped by stop() or the destructor.
// With `nestedIn`, an Xephyr server shown as a window on that (outer) display instead: its own
// keyboard and mouse are the outer window's input, so keys posted through XTEST to the outer
// server while the pointer is over that window reach the inner server from a second, non-XTEST
// keyboard ("Xephyr virtual keyboard"), as a user's typing does.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace virelo::test {

class XvfbServer {
 public:
  struct Options {
    // The display number to take; nullopt: a free one that the server chooses.
    std::optional<int> display;
    // Further arguments, e.g. {"-screen", "0", "1280x800x24"}.
    std::vector<std::string> arguments;
    // The outer display of a nested Xephyr server; nullopt: Xvfb.
    std::optional<std::string> nestedIn = std::nullopt;
  };

  // Starts Xvfb and waits until it names its display; available() is false when Xvfb is not
  // installed or does not start.
  XvfbServer() : XvfbServer(Options{}) {}
  explicit XvfbServer(const Options& options);
  ~XvfbServer();  // stops the server
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Whether the Xvfb program is installed at all (for skipping with a reason).
  static bool installed();
  // Whether Xephyr is installed (Debian package xserver-xephyr).
  static bool xephyrInstalled();

  bool available() const { return !display_.empty(); }
  // The display name, e.g. ":3".
  const std::string& display() const { return display_; }
  // The display number, e.g. 3; -1 when not available.
  int number() const;
  // The server's process (to stop it with SIGSTOP, as a server that never answers).
  pid_t pid() const { return pid_; }
  // Runs "setxkbmap -display DISPLAY ARGS..." to its end; returns whether it exited with 0.
  bool setxkbmap(const std::string& layout) const;
  bool setxkbmap(const std::vector<std::string>& arguments) const;
  // Stops the server and waits for it to end; the display name stays readable.
  void stop();

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace virelo::test
