// The preparation a colour alignment needs from the application, shared by
// the "ICP_Color" button, the trial batch and icp_tool: ridge/valley feature
// marks and significant colours of both slots.
#pragma once

#include "registration/Aligner.h"

// For slots[0] and then slots[1] (each holding a mesh): feature_marks is
// refilled with one false flag per vertex and the collect pass marks the
// vertices nearest to every ridge and every valley segment (both kinds,
// whatever the view shows), with `ridge_threshold` (the "Umbral" value) over
// the slot's curvature_scale. Then, per slot in the same order,
// significant colours are rebuilt when empty or when color_tolerance differs
// from color_cache_key (the key itself is left to the display). Slots
// without a mesh are skipped.
void prepare_color_features(Aligner& aligner, float ridge_threshold);
