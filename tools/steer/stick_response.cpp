#include "tools/steer/stick_response.h"

#include <algorithm>
#include <cmath>

namespace virelo::steer {

double length(Vec2 v) {
  return std::hypot(v.x, v.y);
}

Vec2 shaped(Vec2 raw, const Response& response) {
  const double magnitude = length(raw);
  if (magnitude <= response.deadZone || magnitude == 0) return {};
  const double span = std::max(response.saturation - response.deadZone, 1e-9);
  const double linear = std::clamp((magnitude - response.deadZone) / span, 0.0, 1.0);
  const double curved = std::pow(linear, response.exponent);
  return {raw.x / magnitude * curved, raw.y / magnitude * curved};
}

Vec2 pointerVelocity(Vec2 raw, const Response& response, bool precise) {
  const Vec2 s = shaped(raw, response);
  const double speed = response.maxSpeed * (precise ? response.precision : 1.0);
  return {s.x * speed, s.y * speed};
}

}  // namespace virelo::steer
