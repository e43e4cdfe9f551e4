// Exact smallest enclosing sphere of a point set, in float32.
#pragma once

#include <vector>

#include "geometry/Vec.h"

// Smallest sphere enclosing every point of `pts` whose three coordinates are
// finite (points with a NaN or infinite coordinate are left out). Returns
// false, leaving `center` and `radius` untouched, when no such point exists;
// otherwise sets them and returns true. Duplicates, collinear and coplanar
// sets are fine (one point gives radius 0). Expected time linear in the
// number of points; memory: two int32 links per point.
bool smallest_enclosing_sphere(const std::vector<point>& pts, point& center, float& radius);
