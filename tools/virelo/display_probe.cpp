#include "tools/virelo/display_probe.h"

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"

namespace virelo::tools {

std::optional<std::string> DisplayReport::problem() const {
  if (display.empty()) return "$DISPLAY is not set";
  if (connectError) return *connectError;
  if (!xtest) return "the X server on " + display + " has no XTEST extension";
  return std::nullopt;
}

DisplayReport probeDisplay(const char* display) {
  DisplayReport report;
  if (display == nullptr || *display == '\0') return report;
  report.display = display;
  // Every wait for the server is bounded: a stopped server is reported, not waited for.
  std::optional<client::ServerExtensions> found;
  try {
    found = client::serverExtensions(display);
  } catch (const client::XServerSilent& e) {
    report.connectError = e.what();
    return report;
  }
  if (!found) {
    report.connectError = "no X server answers on " + report.display;
    return report;
  }
  report.xtest = found->xtest;
  report.xinput = found->xinput;
  report.xkb = found->xkb;
  return report;
}

}  // namespace virelo::tools
