// virelo-accessible-desktop X Y: the tests' accessible desktop (Xvfb, a private session bus, the
// accessibility bus and the GTK application tests/atspi/gtk_app.py with its window at X Y) for
// scripts such as tools/demo --x11. Started as root, the buses and the application run as the
// service user, as in the end-to-end tests. Prints, one a line, the environment a client of that
// desktop needs (DISPLAY=..., DBUS_SESSION_BUS_ADDRESS=..., HOME=..., XDG_RUNTIME_DIR=...) and
// BUTTON=x,y,w,h (the frame of the button "Press"), then runs until its standard input closes and
// stops everything. Prints UNAVAILABLE=<reason> and exits 0 when the desktop cannot run.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "tests/atspi/accessible_desktop.h"
#include "tests/support/service_user.h"

namespace {

void printVariable(const char* name) {
  const char* value = std::getenv(name);
  std::cout << name << "=" << (value != nullptr ? value : "") << "\n";
}

void awaitEndOfInput() {
  char buffer[64];
  while (::read(STDIN_FILENO, buffer, sizeof(buffer)) > 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: virelo-accessible-desktop X Y\n";
    return 2;
  }
  using virelo::test::AccessibleDesktop;
  virelo::test::ServiceUser::adopt();
  AccessibleDesktop desktop(virelo::test::ServiceUser::privileged());
  if (!desktop.unavailable().empty()) {
    std::cout << "UNAVAILABLE=" << desktop.unavailable() << std::endl;
    return 0;
  }
  const auto& app = desktop.startApp(std::atoi(argv[1]), std::atoi(argv[2]));
  if (app.pid <= 0) {
    std::cout << "UNAVAILABLE=the GTK application did not come up" << std::endl;
    return 0;
  }
  for (const char* name : {"DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR"}) {
    printVariable(name);
  }
  std::cout << "BUTTON=" << app.press.minX() << "," << app.press.minY() << "," << app.press.width()
            << "," << app.press.height() << std::endl;
  awaitEndOfInput();
  return 0;
}
