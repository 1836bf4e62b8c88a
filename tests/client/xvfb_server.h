// A private Xvfb X server on a free display, for tests that read the X server's keyboard layout.
#pragma once

#include <sys/types.h>

#include <string>

namespace virelo::client {

class XvfbServer {
 public:
  // Starts Xvfb and waits until it names its display; available() is false when Xvfb is not
  // installed or does not start.
  XvfbServer();
  ~XvfbServer();  // stops the server
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool available() const { return !display_.empty(); }
  // The display name, e.g. ":3".
  const std::string& display() const { return display_; }
  // Runs "setxkbmap -display DISPLAY ARGS..." to its end; returns whether it exited with 0.
  bool setxkbmap(const std::string& layout) const;

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace virelo::client
