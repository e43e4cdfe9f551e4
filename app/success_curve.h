// The success curve of a batch: for each method, the share of trials whose
// result recovered the reference pose (the pose rule), per bin of the start's
// rotation away from the reference (0-10, 10-20, 20-30 and 30 or more
// degrees). Written as RUN_success.svg and drawn in the panel after a batch.
#pragma once

#include <string>
#include <vector>

#include "app/trial_basin.h"
#include "app/trial_table.h"

// Upper edges of the start-rotation bins, degrees; the last bin is open.
const double kCurveBinEdges[] = {10.0, 20.0, 30.0};
const int kCurveBins = 4;

// The bin of a start rotation: 0 below 10 degrees ... 3 from 30 degrees on.
int curve_bin(double start_degrees);
// "0-10", "10-20", "20-30", "30+".
std::string curve_bin_label(int bin);

struct MethodCurve {
  std::string method;
  int recovered[kCurveBins] = {};      // trials of each bin whose result met the pose rule
  int good_by_error[kCurveBins] = {};  // trials of each bin good by the log's rule
};

struct SuccessCurve {
  int trials[kCurveBins] = {};        // trials per bin (the same for every method)
  std::vector<MethodCurve> methods;   // in the batch's method order
  // recovered / trials of the bin; negative for a bin without trials.
  double rate(size_t method, int bin) const;
};

// From a batch's table rows (every method), or from its records (the two
// variants, "icp" and "icp_color", as the panel keeps them).
SuccessCurve success_curve(const std::vector<TrialRow>& rows);
SuccessCurve success_curve(const std::vector<TrialRecord>& records);

// The picture: grouped bars of the success rate (0 to 100 %) per bin, one
// colour per method, each bar labelled with its percentage and each bin with
// its trial count, and a legend; a UTF-8 SVG text. Bins without trials show
// no bars.
std::string success_curve_svg(const SuccessCurve& curve);
