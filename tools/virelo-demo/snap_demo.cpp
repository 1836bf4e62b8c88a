#include "tools/virelo-demo/snap_demo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "virelo/client/x11.h"

namespace virelo::tools {
namespace {

using Position = client::PointerPosition;

// The X pointer's position on the root window, read by a connection of our own.
Position pointer(const std::string& display) {
  auto at = client::pointerPosition(display.c_str());
  if (!at) throw std::runtime_error("cannot read the pointer of X display " + display);
  return *at;
}

// Unsnapped relative moves (each at most 127 points on an axis) to that position.
void moveTo(client::Client& client, const std::string& display, Position target) {
  for (int i = 0; i < 16; ++i) {
    Position at = pointer(display);
    if (at == target) return;
    const int dx = std::clamp(target.x - at.x, -127, 127);
    const int dy = std::clamp(target.y - at.y, -127, 127);
    client.move(dx, dy);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

ButtonFrame parseButtonFrame(const std::string& text) {
  ButtonFrame frame;
  char end = 0;
  if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &frame.x, &frame.y, &frame.width, &frame.height,
                  &end) != 4 ||
      frame.width <= 0 || frame.height <= 0) {
    throw std::invalid_argument("a button frame is x,y,w,h");
  }
  return frame;
}

void snapOntoButton(client::Client& client, const std::string& display, const ButtonFrame& button,
                    std::ostream& log) {
  const Position start{button.x + button.width + 62, button.centreY()};
  log << "  pointer to (" << start.x << ", " << start.y
      << "), 62 points right of the button \"Press\"\n";
  moveTo(client, display, start);
  log << "  slow snapped move to the left: steps of 5 points every 30 ms\n";
  const Position centre{button.centreX(), button.centreY()};
  Position at = pointer(display);
  int steps = 0;
  while (at != centre && steps < 40) {
    client.move(-5, 0, true);
    ++steps;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    at = pointer(display);
  }
  log << "    (" << steps << " steps; the demo stops once the pointer is on the centre)\n";
  log << "  cursor landed at " << at.x << "," << at.y << "; button centre " << button.centreX()
      << "," << button.centreY() << "\n";
}

}  // namespace virelo::tools
