// The summary of a batch (RUN_summary.json): what was measured (tool
// version, command line, inputs with size and SHA-256, seed, count, mode,
// threads, thresholds) and, per method, successes by both rules with a 95 %
// interval, the median and 90th-percentile time per run, and the success
// rate per start-rotation bin. Written through nlohmann::json.
#pragma once

#include <string>
#include <vector>

#include "app/trial_basin.h"
#include "app/trial_table.h"

// What the caller knows about how the batch was run.
struct BatchDescription {
  std::string tool_version;
  std::vector<std::string> command_line;  // every argument, the program's name first
  std::vector<std::string> inputs;        // the two scans' paths
  long long seed = -1;                    // -1: none (starts replayed in the default mode)
  std::string starts_file;                // "" for random starts
  bool prealign = false;
  int threads = 1;                        // the engine's thread count
  int parallel_trials = 1;                // trials run at once
  PoseRule rule;
};

// A share's 95 % interval by Wilson's score method (z = 1.96), which stays
// inside [0, 1] and is sound for counts near 0 or n. [0, 1] for n = 0.
void wilson_interval(int successes, int n, double& low, double& high);
// The p-th percentile (0..100) with linear interpolation between closest
// ranks (numpy's default); 0 for no values.
double percentile(std::vector<double> values, double p);

// The summary's JSON text (two-space indentation, ending in a newline).
// Inputs that cannot be read get a null digest.
std::string trial_summary_json(const BatchDescription& batch, const std::vector<TrialRow>& rows);
