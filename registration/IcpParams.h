// IcpParams: the ICP engine's settings in one record. Every entry point of
// the Aligner starts from these defaults (a run never inherits a setting from
// an earlier one), so the values below are the engine's behaviour. Lengths are
// in the scans' own units; counts are pairs or steps.
#pragma once

#include <cstdint>

struct IcpParams {
  // Console detail: 0 silent, 1 per-run summaries and warnings, 2 every step.
  int32_t verbosity = 1;
  // Pairing radius (scan units); <= 0: derived from the scans when a run starts
  // (half the smaller bounding-box diagonal), then tightened by every step.
  float max_dist = 0.0f;
  // Bound of the main loop (steps); the stall rule ends real runs long before.
  int32_t max_iterations = 10000;
  // Fewest pairs (after rejection) a step accepts: fewer cannot pin six unknowns
  // against outliers.
  int32_t min_pairs = 25;
  // Target pair counts (pairs per step) of point-to-plane, point-to-point and
  // the final step: the sampling step is rescaled to aim at them. Coarse steps
  // need few pairs; the final step is dense for an accurate last error.
  int32_t pairs_plane = 500;
  int32_t pairs_point = 50;
  int32_t pairs_final = 5000;
  // Normal compatibility (cosine): paired normals within about 45 degrees.
  float normal_dot_min = 0.7f;
  // Colour compatibility: largest sum of absolute channel differences (colours
  // in [0, 1]), and smallest cosine between the colour directions (about 14
  // degrees).
  float color_l1_max = 0.15625f;
  float color_dir_dot_min = 0.97f;
  // Stop rule (steps): the loop ends when stall_count of the last stall_window
  // steps did not lower the error.
  int32_t stall_count = 8;
  int32_t stall_window = 10;
  // Eigenvalue floor (ratio to the largest): motions less determined than this
  // are not moved by a point-to-plane step and weigh most in the sampling.
  float eigen_ratio_min = 0.01f;
  // Overlap weights: a vertex counts when it falls in an occupied cell of the
  // other scan's 16^3 grid, and, with check_nearest, also lies next to a
  // non-boundary vertex of it (slower, off by default).
  bool use_grid = true;
  bool check_nearest = false;
};
