// The convergence basin of a trial batch: per trial, how far its start lay
// from the reference pose (rotation angle, and the shift of mesh 2's box
// centre as a fraction of the box diagonal) against the final error of each
// variant; and the pose-based outcome, which unlike the log's error rule does
// not depend on the scan's units or noise. Drawn as an SVG file and, with the
// same axes, in the panel.
#pragma once

#include <string>
#include <vector>

#include "geometry/PoseMatrix.h"
#include "geometry/Vec.h"

// How far `pose` places mesh 2 from where `reference` places it.
struct PoseOffset {
  double degrees = 0.0;  // angle of the relative rotation, in [0, 180]
  double shift = 0.0;    // distance between the two images of `centre`
};
// `centre` is mesh 2's bounding-box centre in its own coordinates.
PoseOffset pose_offset(const PoseMatrix& reference, const PoseMatrix& pose, const point& centre);

// A result counts as the reference pose recovered when it is within 1 degree
// and its box centre within 1 % of the box diagonal (the defaults; a batch
// may be given other thresholds).
const double kPoseGoodDegrees = 1.0;
const double kPoseGoodShift = 0.01;
struct PoseRule {
  double max_degrees = kPoseGoodDegrees;  // rotation error below this, degrees
  double max_shift = kPoseGoodShift;      // centre shift below this, fraction of the diagonal
};
bool pose_recovered(const PoseOffset& offset, double diagonal, const PoseRule& rule = PoseRule());

struct TrialRecord {
  double start_degrees = 0.0;  // rotation of the perturbed start, degrees
  double start_shift = 0.0;    // its centre shift / box diagonal
  float error_icp = 0.0f;      // final errors as the log has them
  float error_color = 0.0f;
  bool pose_good_icp = false;  // pose_recovered for each result
  bool pose_good_color = false;
};

// The error below which a run counts as converged in the log
// (trial_error_is_good); both plots draw it as their threshold line.
const float kTrialGoodError = 0.001f;

// The plot's axes: linear start ranges from 0 to a round number (whole 5
// degrees, whole 0.05 diagonals) at or above the largest start, and the error axis in whole
// decades covering every finite positive error and the 0.001 threshold.
// Errors that are zero, negative or not finite sit on the lower (zero) or
// upper (not finite) edge. Starts that are not finite, or lie beyond
// kBasinFarthestStart (a pose file far from its scan can put them there),
// stay out of the start ranges and sit on their right edge, so the axes
// and the picture stay small whatever the starts.
const double kBasinFarthestStart = 1e6;
struct BasinAxes {
  double max_degrees = 1.0;
  double max_shift = 0.01;
  int low_decade = -4;  // log10 of the axis bottom
  int high_decade = 0;  // log10 of the axis top
  // Position in [0, 1] from the bottom of the error axis.
  double error_position(float error) const;
  // Position in [0, 1] from the left of a start axis (the shift's when
  // `by_shift`, else the rotation's).
  double start_position(const TrialRecord& record, bool by_shift) const;
};
BasinAxes basin_axes(const std::vector<TrialRecord>& records);

// Spacing of the labelled ticks on a start axis ending at `axis_max`:
// degrees every 5 (every 10 past 25), diagonals every 0.05 (every 0.1 past
// 0.25); where that would make more than 20 ticks, 1, 2 or 5 times a power
// of ten, for at most 10.
double basin_tick_step(double axis_max, bool shift_axis);

// The two-panel picture (error against start rotation, error against start
// shift; log error axis; threshold line; legend; one <g class="mark"> per
// trial and variant holding its point in both panels), as a UTF-8 SVG text.
std::string basin_svg(const std::vector<TrialRecord>& records);
// Writes basin_svg to `path` through a temporary renamed over it, so a
// failure (a full disk, a folder at its name) keeps the previous picture;
// false with the reason on standard error.
bool write_basin_svg(const std::string& path, const std::vector<TrialRecord>& records);

// The one-line pose outcome printed after a batch, with its newline:
// "Pose recuperada (< 1 grado, < 1% diagonal): ICP a de n, ICP_Color b de n\n"
// (the rule's thresholds in place of 1 grado and 1%, "grados" when not 1).
std::string pose_outcome_line(const std::vector<TrialRecord>& records,
                              const PoseRule& rule = PoseRule());
