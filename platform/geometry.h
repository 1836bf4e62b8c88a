// Points, vectors and rectangles in the global display space: origin at the top-left of the
// main display, y growing downward, double precision, in points.
#pragma once

#include <algorithm>
#include <cmath>

namespace virelo {

struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Vector {
  double dx = 0;
  double dy = 0;
  friend bool operator==(const Vector&, const Vector&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle given by origin and size. Width and height are taken as absolute values, so a
// rectangle with a negative size covers the same area as its standardised form.
struct Rect {
  Point origin;
  Size size;

  double minX() const { return std::min(origin.x, origin.x + size.width); }
  double maxX() const { return std::max(origin.x, origin.x + size.width); }
  double minY() const { return std::min(origin.y, origin.y + size.height); }
  double maxY() const { return std::max(origin.y, origin.y + size.height); }
  double width() const { return std::abs(size.width); }
  double height() const { return std::abs(size.height); }
  Point center() const { return {(minX() + maxX()) / 2, (minY() + maxY()) / 2}; }

  // Half-open containment: the left and top edges are inside, the right and bottom are not.
  bool contains(Point p) const {
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
  }
  // Whether `other` lies inside this rectangle; edges may coincide.
  bool contains(const Rect& other) const {
    return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() &&
           other.maxY() <= maxY();
  }
  // The rectangle grown by d on every side (an inset of -d).
  Rect grown(double d) const {
    return {{minX() - d, minY() - d}, {width() + 2 * d, height() + 2 * d}};
  }

  friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect makeRect(double x, double y, double w, double h) {
  return {{x, y}, {w, h}};
}

}  // namespace virelo
