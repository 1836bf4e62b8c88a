// The rings of sample offsets around the cursor that the accessibility scan hit-tests.
#pragma once

#include <vector>

#include "platform/geometry.h"

namespace virelo {

// n offsets on a circle of radius r: offset i is (r cos a, r sin a) with a = 2iπ/n, starting on
// the positive x axis and turning toward positive y (downward on the screen).
std::vector<Vector> circle(double r, int n);

// (0, 0), circle(12, 4), circle(24, 8): 13 offsets for searches around the moving cursor.
const std::vector<Vector>& nearRing();
// (0, 0), circle(12, 8), circle(24, 8), circle(36, 8): 25 offsets around the resting cursor.
const std::vector<Vector>& wideRing();

}  // namespace virelo
