// The convergence basin of the last trial batch in the panel, below the
// error-history plot: the pose outcome line, then two small plots sharing a
// log error axis (error against start rotation, error against start shift),
// the 0.001 line, ICP as dots and ICP_Color as squares.
#pragma once

#include <vector>

#include "app/trial_basin.h"

// Draws into the current ImGui window; nothing for no records.
void draw_basin(const std::vector<TrialRecord>& records);
