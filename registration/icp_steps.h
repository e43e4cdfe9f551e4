// The ICP engine's single steps, opened for the engine's own tests: each call
// forwards to the private step of the same name documented in
// registration/Aligner.h. Production code calls only `Aligner::align` and
// `Aligner::align_color`.
#pragma once

#include <vector>

#include "registration/Aligner.h"

// Outlier factors of the two solver steps: the squared-distance threshold in
// multiples of the median squared distance. The point-to-point one is the
// single-precision value of the original constant.
inline constexpr float kPointRejectFactor = 19.782983779907227f;
inline constexpr float kPlaneRejectFactor = 6.25f;

struct IcpSteps {
  static bool run_icp(Aligner& a) { return a.run_icp(); }
  static void collect_pairs(Aligner& a, float incr, std::vector<PointPair>& pairs, bool direction) {
    a.collect_pairs(incr, pairs, direction);
  }
  static void collect_pairs_both(Aligner& a, float incr, std::vector<PointPair>& pairs) {
    a.collect_pairs_both(incr, pairs);
  }
  static void update_overlap_weights(Aligner& a) { a.update_overlap_weights(); }
  static float median_dist2(Aligner& a, const std::vector<PointPair>& pairs) {
    return a.median_dist2(pairs);
  }
  static float reject_pairs(Aligner& a, std::vector<PointPair>& pairs, float factor) {
    return a.reject_pairs(pairs, factor);
  }
  static void reset_cdfs(Aligner& a) { a.reset_cdfs(); }
  static bool update_cdfs(Aligner& a, const float evals[6], const float evecs[6][6],
                          const point& centroid, float scale) {
    return a.update_cdfs(evals, evecs, centroid, scale);
  }
  static bool step_point_to_point(Aligner& a, float& incr, bool translate_only) {
    return a.step_point_to_point(incr, translate_only);
  }
  static bool step_point_to_plane(Aligner& a, float& incr, bool refresh_cdfs) {
    return a.step_point_to_plane(incr, refresh_cdfs);
  }
};
