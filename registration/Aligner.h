// Aligner: the alignment engine. Owns the two mesh slots (slots[0] mesh 1,
// fixed; slots[1] mesh 2, moving), the ICP parameters (restored to their
// defaults at every entry-point call), the last errors and the per-step error
// histories. Entry points `align` (geometric ICP) and `align_color` (colour ICP)
// move slots[1]->pose in place.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "registration/MeshSlot.h"

class Aligner {
 public:
  std::unique_ptr<MeshSlot> slots[2];
  int32_t mode = 0;               // 1 during align, 2 during align_color
  float error_icp = 0.0f;         // last RMS error of a geometric alignment
  float error_color = 0.0f;       // last RMS error of a colour alignment
  float best_error = 0.0f;        // best final error of the current call; 999999 at entry
  // Parameter block, restored to these defaults at every entry-point call.
  int32_t verbosity = 1;          // 0 silent, 1 summary and warnings, 2 per-step details
  bool option_a = false;          // optional uniform correction
  bool option_b = false;          // optional per-axis correction
  float max_dist = 0.0f;          // pairing radius; <= 0: derived at the start of a run
  int32_t max_iterations = 10000; // bound of the main loop
  int32_t min_pairs = 25;         // fewest pairs a step accepts
  int32_t pairs_plane = 500;      // target pair count of point-to-plane steps
  int32_t pairs_point = 50;       // target pair count of point-to-point steps
  int32_t pairs_final = 5000;     // target pair count of the final step
  float normal_dot_min = 0.7f;    // NormCompat threshold
  float color_l1_max = 0.15625f;  // ColorCompat colour limit
  float color_dir_dot_min = 0.97f;  // ColorCompat direction threshold
  int32_t stall_count = 8;        // stalled steps within the window that stop the loop
  int32_t stall_window = 10;      // length of the stall window
  float eigen_ratio_min = 0.01f;  // eigenvalue floor ratio
  bool use_grid = true;           // overlap test by occupancy grid
  bool check_nearest = false;     // overlap test also by nearest vertex
  // Histories: emptied at the start of each call of the matching entry point.
  std::vector<float> history_icp;
  std::vector<float> history_color;
  std::vector<int32_t> run_starts_icp;
  std::vector<int32_t> run_starts_color;
  std::vector<float> real_error_icp;    // never appended to; written as an empty column
  std::vector<float> real_error_color;

  Aligner();
  ~Aligner();

  bool align(int verbosity, bool option_a, bool option_b);
  bool align_color(int verbosity, bool option_a, bool option_b);
  bool run_icp();
};
