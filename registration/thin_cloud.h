// A scan thinned to voxel centroids, and a uniform grid over a cloud for
// fixed-radius neighbour queries: what the prealignment works on. Plain
// code of ours (no shared state), so it runs on any thread.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "mesh/TriMesh.h"
#include "registration/global_matching.h"

// The mesh's finite vertices thinned to one point per occupied cube of edge
// `voxel` (cubes aligned on multiples of `voxel` in the mesh's own frame):
// the centroid of its vertices, their normals' mean renormalised, and, when
// `with_colors` and the mesh has one colour per vertex, their mean colour.
// A cube whose normals cancel out (a thin sheet seen from both sides) is
// dropped, since its features would be noise. Points come in the cubes'
// order (z, then y, then x), so the result depends on the mesh alone.
// Needs the mesh's normals (need_normals). voxel <= 0 or not finite: empty.
MatchCloud thin_scan(const TriMesh& mesh, double voxel, bool with_colors);

// Buckets of a cloud's points by cube of edge `cell`, for queries within a
// radius of at most `cell`. The points must outlive the grid.
class PointGrid {
 public:
  PointGrid(const std::vector<point>& points, double cell);
  // Index of the nearest point within `radius` (<= cell) of `p`, -1 when
  // none; `*distance2` (may be null) receives its squared distance. Ties keep
  // the lower index.
  int nearest(const point& p, double radius, float* distance2 = nullptr) const;
  // Calls visit(index) for every point within `radius` (<= cell) of `p`.
  template <typename Visit>
  void for_each_within(const point& p, double radius, Visit visit) const;

 private:
  int64_t key(int64_t x, int64_t y, int64_t z) const;
  bool cube_of(const point& p, int64_t c[3]) const;
  const std::vector<point>& points_;
  double cell_;
  point origin_;
  std::unordered_map<int64_t, std::vector<int32_t>> cubes_;
};

template <typename Visit>
void PointGrid::for_each_within(const point& p, double radius, Visit visit) const {
  int64_t c[3];
  if (!cube_of(p, c)) return;
  const float r2 = float(radius * radius);
  for (int64_t dz = -1; dz <= 1; dz++)
    for (int64_t dy = -1; dy <= 1; dy++)
      for (int64_t dx = -1; dx <= 1; dx++) {
        auto found = cubes_.find(key(c[0] + dx, c[1] + dy, c[2] + dz));
        if (found == cubes_.end()) continue;
        for (int32_t i : found->second)
          if (dist2(p, points_[size_t(i)]) <= r2) visit(i);
      }
}
