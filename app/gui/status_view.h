// The status area at the top of the panel (panel_status.h says what it holds).
#pragma once

#include "app/AppState.h"

// Draws into the current ImGui window: the file lines, then the outcome,
// busy or progress lines in the accent colour, wrapped to the panel's width.
void draw_status(const AppState& app);
