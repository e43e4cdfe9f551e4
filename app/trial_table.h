// The per-trial table of a batch (RUN_trials.csv): one row per trial and
// method, each method run from the trial's start pose and scored by the same
// two rules, the log's error rule and the pose rule. The table is UTF-8,
// comma-separated, with a header row; numbers use a '.' decimal point.
#pragma once

#include <string>
#include <vector>

#include "app/trial_basin.h"
#include "geometry/PoseMatrix.h"

// What one method did from one trial's start.
struct MethodRun {
  std::string method;               // "icp", "icp_color", "o3d_point_to_plane", "o3d_colored"
  bool has_error = false;           // false: no engine error (unset, or a peer method)
  float final_error = 0.0f;         // the engine's final error, as the log writes it
  double rotation_error_deg = 0.0;  // angle between the result's and the reference's rotation
  double translation_error = 0.0;   // shift of mesh 2's box centre / box diagonal
  int iterations = 0;               // steps the run made (its error history's length)
  double milliseconds = 0.0;        // wall time of the run alone
  bool good_by_error = false;       // the log's rule (trial_error_is_good); 0 for peers
  bool recovered = false;           // the pose rule: within the batch's thresholds
  PoseMatrix pose;                  // mesh 2's final pose
};

// One trial: its start and every method's run from it.
struct TrialRow {
  int trial = 0;                    // from 1, as in the log
  double start_rotation_deg = 0.0;  // rotation of the start away from the reference
  double start_shift = 0.0;         // its centre shift / box diagonal
  std::string prealign;             // "", or "found" / "refused" with --prealign
  PoseMatrix start;                 // the start pose itself
  std::vector<MethodRun> runs;      // in the batch's method order
};

// How far poses lie from the reference, and the rule that judges them.
struct PoseScorer {
  PoseMatrix reference;  // mesh 2's pose when the batch started
  point box_centre;      // mesh 2's box centre, own coordinates
  double diagonal = 0;   // mesh 2's box diagonal
  PoseRule rule;
  // Fills run.pose, rotation_error_deg, translation_error and recovered from `pose`.
  void score(const PoseMatrix& pose, MethodRun& run) const;
};

// An engine error is unset when it is the engine's marker for "nothing
// measured" (999999, as the log then writes it) or not finite; the table then
// leaves final_error empty. good_by_error follows the log's count whatever.
bool engine_error_is_set(float error);

// The CSV text: header "trial,method,start_rotation_deg,start_shift,
// final_error,rotation_error_deg,translation_error,iterations,milliseconds,
// good_by_error,recovered,prealign", then one line per row and run. Final
// errors print as the log prints them (%f); other measures with %.9g; flags as
// 0 or 1; the prealignment outcome empty without --prealign.
std::string trial_table_csv(const std::vector<TrialRow>& rows);
