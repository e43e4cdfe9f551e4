// The success curve of the last trial batch in the panel, beside the basin:
// for ICP and ICP_Color, the share of trials that recovered the reference
// pose per start-rotation bin, as grouped bars with the bin's trial count.
#pragma once

#include <vector>

#include "app/trial_basin.h"

// Draws into the current ImGui window; nothing for no records.
void draw_success_curve(const std::vector<TrialRecord>& records);
