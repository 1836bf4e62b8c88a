// Placing the pointer exactly with relative moves: read, move, read again and correct.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "virelo/client/errors.h"
#include "virelo/client/x11.h"

namespace virelo::client {
namespace {

constexpr int kMaxStep = 127;

// How many pixels one count of a move gave on an axis last round, kept within [1/4, 4] so that a
// pointer that did not move at all (or the wrong way) is not trusted.
double gainOf(int sent, int moved) {
  if (sent == 0 || moved == 0 || (sent > 0) != (moved > 0)) return 1.0;
  return std::clamp(static_cast<double>(moved) / sent, 0.25, 4.0);
}

// The counts that should move `distance` pixels at `gain`: never zero for a distance.
int countsFor(int distance, double gain) {
  if (distance == 0) return 0;
  const int counts = static_cast<int>(std::lround(distance / gain));
  return counts != 0 ? counts : (distance > 0 ? 1 : -1);
}

// Sends (dx, dy) as moves of at most `step` per axis.
void sendInSteps(const PointerDriver& driver, int dx, int dy, int step) {
  while (dx != 0 || dy != 0) {
    const int sx = std::clamp(dx, -step, step);
    const int sy = std::clamp(dy, -step, step);
    driver.move(sx, sy);
    dx -= sx;
    dy -= sy;
  }
}

bool isWaylandSession(const EnvironmentLookup& environment) {
  const char* wayland = environment("WAYLAND_DISPLAY");
  const char* session = environment("XDG_SESSION_TYPE");
  return (wayland != nullptr && *wayland != '\0') ||
         (session != nullptr && std::strcmp(session, "wayland") == 0);
}

}  // namespace

std::string pointerDisplay(const EnvironmentLookup& environment, const std::string& backend) {
  const char* display = environment("DISPLAY");
  if (display == nullptr || *display == '\0') {
    throw PointerUnknown(
        "the pointer's position cannot be known: no X server ($DISPLAY is not set)");
  }
  if (isWaylandSession(environment) && backend != "cgevent") {
    throw PointerUnknown(
        "the pointer's position cannot be known in a Wayland session: the compositor moves the "
        "pointer of the service's virtual devices and tells no client where it is (use an X11 "
        "session, or the \"cgevent\" backend for X applications)");
  }
  return display;
}

PointerPosition placePointer(const PointerDriver& driver, PointerPosition target, int rounds) {
  auto read = [&] {
    const std::optional<PointerPosition> at = driver.position();
    if (!at) throw PointerUnknown("the pointer's position can no longer be read");
    return *at;
  };
  PointerPosition at = read();
  double gainX = 1.0;
  double gainY = 1.0;
  for (int round = 0; at != target; ++round) {
    if (round == rounds) throw PointerNotPlaced(target.x, target.y, at.x, at.y);
    // Corrections use smaller moves, which pointer acceleration enlarges less.
    const int step = std::max(1, kMaxStep >> (2 * round));
    const int sentX = countsFor(target.x - at.x, gainX);
    const int sentY = countsFor(target.y - at.y, gainY);
    sendInSteps(driver, sentX, sentY, step);
    const PointerPosition after = read();
    gainX = gainOf(sentX, after.x - at.x);
    gainY = gainOf(sentY, after.y - at.y);
    at = after;
  }
  return at;
}

}  // namespace virelo::client
