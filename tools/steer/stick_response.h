// How a stick's deflection becomes a pointer velocity. Pure functions of the deflection and the
// profile's numbers, no state.
//
// The response is radial: the deflection's length goes through the dead zone, the saturation and
// the power curve, and the direction is kept, so a diagonal moves the pointer exactly as fast as
// an axis does and a stick that drifts a little off centre does nothing at all.
#pragma once

namespace virelo::steer {

// A deflection or a direction: x to the right, y downward. A stick's deflection lies in the unit
// disc (a square stick's corner is clamped onto it).
struct Vec2 {
  double x = 0;
  double y = 0;

  bool operator==(const Vec2&) const = default;
};

double length(Vec2 v);

struct Response {
  // Deflections up to this length count as none (drift and noise of a resting stick).
  double deadZone = 0.15;
  // From this length on the stick counts as fully deflected (worn sticks never reach 1).
  double saturation = 0.95;
  // The power of the curve between the two: 1 is linear, 2 gives fine control near the centre.
  double exponent = 2.0;
  // The pointer's speed at full deflection, in points per second.
  double maxSpeed = 1200.0;
  // The factor applied to the speed while the precision modifier is held.
  double precision = 0.25;
};

// The deflection after the dead zone, the saturation and the curve: the same direction, a length
// in [0, 1]. Zero inside the dead zone; 1 at and beyond the saturation.
Vec2 shaped(Vec2 raw, const Response& response);

// The pointer velocity for a raw deflection, in points per second.
Vec2 pointerVelocity(Vec2 raw, const Response& response, bool precise);

}  // namespace virelo::steer
