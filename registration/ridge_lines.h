// Ridge and valley lines: the lines where the principal curvature of larger
// magnitude (principal_curv1, k) reaches an extremum along its own direction
// (principal_dir1), found triangle by triangle from k and its derivative e
// along that direction (dcurv[0]). The viewer draws the segments; the
// alignment actions mark the vertices nearest to them (feature_marks).
#pragma once

#include <vector>

#include "mesh/TriMesh.h"
#include "registration/MeshSlot.h"

enum class RidgeKind { ridge = 1, valley = -1 };

// One traced segment and, per end, the vertex of the carrying edge nearer to
// that end (ties go to the edge's second vertex). near2 is -1 when the
// segment runs to the face's centroid.
struct RidgeSegment {
  point p1, p2;
  int32_t near1 = -1, near2 = -1;
};

// Effective curvature threshold T = ridge_threshold / curvature_scale. A
// quotient that is not a number (0 / 0) counts as 0; a zero scale with a
// positive threshold gives infinity, which drops every segment.
float ridge_curvature_threshold(float ridge_threshold, float curvature_scale);

// The face test of triangle (a, b, c) for one kind: curvature sign at all
// three corners, at least two edges where the extremum direction changes
// sign and that pass the extremum test, then one segment (or three meeting
// at the centroid when every edge crosses). `ndotv` (one value per vertex,
// view direction dot normal) enables the back-face test: the face is skipped
// when all three values are <= 0; pass null to disable it. A segment both of
// whose ends are no stronger than `threshold`, or whose carrying edge has e = 0
// at both ends, is dropped. Writes up to 3 segments to `out`; returns the count.
// Precondition: the mesh has principal_curv1, principal_dir1 and dcurv sized
// to its vertices, and a, b, c are valid vertex indices.
int ridge_face_segments(const TriMesh& mesh, int a, int b, int c, RidgeKind kind,
                        float threshold, const float* ndotv, RidgeSegment out[3]);

// Runs the face test over every three consecutive indices of every strip in
// mesh.tristrips (strip order, orientation not alternated), appending the
// segments to `out`. Appends nothing when the mesh has no strips or lacks
// principal_curv1, principal_dir1 or dcurv sized to its vertices.
void trace_ridge_lines(const TriMesh& mesh, RidgeKind kind, float threshold,
                       const float* ndotv, std::vector<RidgeSegment>& out);

// The collect pass: traces ridges (when `ridges`) and valleys (when
// `valleys`) without the back-face test, with the threshold taken from
// `ridge_threshold` and the slot's curvature_scale, and sets
// slot.feature_marks of the vertex nearest to each segment end. Marks are
// only ever set; the caller sizes and clears feature_marks first (when it is
// not one per vertex nothing is marked).
void mark_ridge_vertices(MeshSlot& slot, float ridge_threshold, bool ridges, bool valleys);
