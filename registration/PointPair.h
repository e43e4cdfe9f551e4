// PointPair: one ICP correspondence, all in the common (world) frame.
// Whichever mesh was sampled, p1 and normal1 come from mesh 1 and p2 from mesh 2.
#pragma once

#include "geometry/Vec.h"

struct PointPair {
  point p1;       // mesh 1's vertex placed by mesh 1's pose
  point p2;       // mesh 2's vertex placed by mesh 2's pose
  point normal1;  // mesh 1's vertex normal turned by the normal matrix of mesh 1's pose
};
static_assert(sizeof(PointPair) == 9 * sizeof(float), "PointPair is nine packed floats");
