// What the X server on a display offers the window-server backend.
#pragma once

#include <optional>
#include <string>

namespace virelo::tools {

struct DisplayReport {
  std::string display;                      // as given; empty when $DISPLAY is unset
  std::optional<std::string> connectError;  // set when no server answered
  bool xtest = false;
  bool xinput = false;
  bool xkb = false;

  // Why window-server events cannot be posted there, or nullopt when they can (XTEST answers).
  std::optional<std::string> problem() const;
};

// Connects to the display (nullptr or empty: none), asks for the extensions and disconnects.
DisplayReport probeDisplay(const char* display);

}  // namespace virelo::tools
