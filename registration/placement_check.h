// How well a placement of mesh 2 on mesh 1 fits, in each scan's own units:
// the measure the prealignment verifies its hypotheses by. Plain code of
// ours, on any thread.
#pragma once

#include <memory>

#include "geometry/PoseMatrix.h"
#include "mesh/TriMesh.h"
#include "registration/thin_cloud.h"

// Median distance from a vertex to its nearest other vertex, over an even
// sample of at most 2000 finite vertices: the scan's point spacing. 0 when
// the scan has fewer than two distinct finite vertices. Needs the bounding
// box (need_bounding_box).
double point_spacing(const TriMesh& mesh);

// What a placement leaves between the scans, over an even sample of mesh 2's
// finite vertices, each paired with its nearest vertex of mesh 1 within the
// cutoff the checker was built with.
struct PlacementFit {
  float overlap = 0.0f;   // share of the sample that found a partner, 0..1
  float residual = 0.0f;  // root mean square partner distance / cutoff, 0..1 (1 when none)
  float color = 0.0f;     // mean absolute colour difference of the partners per
                          // channel, 0..1; 0 when either scan has no colours
};

// Mesh 1's vertices in a grid, built once and asked about many placements.
class PlacementChecker {
 public:
  // `cutoff`: the greatest partner distance (the scans' units).
  PlacementChecker(const TriMesh& fixed, const TriMesh& moving, double cutoff);
  // The fit of mesh 2 placed in mesh 1's frame by moving_to_fixed.
  PlacementFit measure(const PoseMatrix& moving_to_fixed) const;
  double cutoff() const { return cutoff_; }

 private:
  const TriMesh& fixed_;
  const TriMesh& moving_;
  double cutoff_;
  std::vector<int32_t> sample_;  // vertices of mesh 2 measured
  PointGrid grid_;
};
