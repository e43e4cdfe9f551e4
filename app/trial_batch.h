// The randomised trial batch: from mesh 2's current pose, `count` trials each
// perturb the pose by whole-degree rotations in [-25, 25] about X, Y and Z
// through the centre of mesh 2's view sphere and a translation of whole
// hundredths of 0.3 x mesh 2's box diagonal, run the geometric and then the
// colour ICP from the same start, log both final errors, count which variant
// converged (final error below 0.001) and write the trial's five result files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/AppState.h"

// The batch's random numbers: x <- x * 214013 + 2531011 (mod 2^32), each
// draw returning bits 16 to 30 of the new x (0 to 32767).
class TrialRng {
 public:
  explicit TrialRng(uint32_t seed) : state_(seed) {}
  int next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7fffu);
  }

 private:
  uint32_t state_;
};

// What the caller supplies around the alignments.
struct TrialBatchHooks {
  // Marks ridge/valley vertices and refreshes significant colours of both
  // slots, exactly as the "ICP_Color" button does before its run.
  std::function<void(AppState&)> prepare_color_features;
  // Asks the window to redraw (nothing without a window).
  std::function<void()> request_redraw;
  // When set, runs right after each perturbation and may move mesh 2 (a
  // global prealignment); both variants then start from where it left mesh
  // 2, while the trial's start pose (initial_pose, its result files) stays
  // the perturbed one.
  std::function<void(AppState&)> prealign;
};

// A run converged when its final error x 1000, truncated towards zero, is 0.
// A non-finite error never counts as converged.
bool trial_error_is_good(float error);

// Runs the batch with the log at base + ".txt" and the result files at
// base + "_N" (N from 1). Needs both meshes with colours. Prints
// "posicion inicial\n\n", "Ensayo %d\n" and "COLOR %d\n" per trial on standard
// output. False, with a message on standard error and nothing aligned, when
// the log cannot be created.
bool run_trials(AppState& app, const std::string& base, uint32_t seed, int count,
                const TrialBatchHooks& hooks, TrialCounts& counts);
