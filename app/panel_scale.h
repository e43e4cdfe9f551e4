// How large the panel is drawn: its font, spacing, width and plots grow
// together on a high-resolution screen, or as the user asks.
#pragma once

// The scale: `setting` (the ICP_PANEL_SCALE variable; null when unset) when
// it holds a number from 0.5 to 4; otherwise the screen's resolution `dpi`
// (dots per inch; 0 when unknown) over 96, rounded to a quarter, never below
// 1 and at most 4, so the usual 96 to 110 dpi screens keep scale 1.
float choose_panel_scale(const char* setting, double dpi);
