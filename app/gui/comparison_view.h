// The comparison shown below the panel's controls: the per-step error
// histories of the last geometric and colour runs (the values the error
// table holds) as two plots, and the counts of the last trial batch.
#pragma once

// Draws into the current ImGui window.
void draw_comparison();
