// The comparison shown below the panel's controls: one caption per variant
// (step count and final error of its last run), both per-step error
// histories (the values the error table holds) as lines in one plot on a
// common scale, and the counts and convergence basin of the last trial batch.
#pragma once

#include "app/AppState.h"

// Draws into the current ImGui window.
void draw_comparison(const AppState& app);
