// Ridge and valley lines of a mesh, face by face: the lines where the
// principal curvature of larger magnitude (k = principal_curv1) reaches an
// extremum along its own direction (principal_dir1), found from the sign
// changes of its derivative e = dcurv[.][0] along the triangle edges.
#pragma once

#include <vector>

#include "mesh/TriMesh.h"

enum class RidgeKind { kRidge = 1, kValley = -1 };

// Appends to `line_points` two points (p1, p2) per segment of `kind` found in
// the triangles of `mesh.tristrips` (every three consecutive indices of a
// strip, orientation not alternated) whose strength exceeds `threshold` at
// either end. When `ndotv` is non-null, triangles facing away at all three
// corners (ndotv <= 0) are skipped. Needs vertices, principal_curv1,
// principal_dir1 and dcurv present; otherwise appends nothing. An end whose
// edge has e = 0 at both corners is undefined and its segment is dropped.
// Linear in the strip length; allocates only when `line_points` must grow.
void append_ridge_segments(const TriMesh& mesh, const float* ndotv, RidgeKind kind,
                           float threshold, std::vector<point>& line_points);
