// Significant colour: a vertex keeps its own colour only where it differs
// from more than a third of its neighbours by at least the slot's tolerance;
// every other vertex shows white. The flags also choose the samples of the
// colour pass of the ICP.
#pragma once

#include "registration/MeshSlot.h"

// Rebuilds slot.significant_colors (one Color per vertex) and
// slot.significant_flags (one 0/1 per vertex) with t = slot.color_tolerance:
// a neighbour differs when 100|dr| >= t, or 100|dg| >= t, or (100/256)|db| >= t
// (blue counts 256 times less); a vertex is flagged when the number of
// differing neighbours exceeds (number of neighbours) / 3, rounded down.
// Neighbours are built on demand. A vertex without neighbours, and every
// vertex of a mesh whose colors are not one per vertex, stays white and
// unflagged. A slot without a mesh gets both arrays emptied.
// Does not touch color_cache_key.
void build_significant_colors(MeshSlot& slot);

// The display's cache rule: rebuilds when the whole-number part of
// color_tolerance differs from that of color_cache_key, and then sets
// color_cache_key to the whole-number tolerance; also rebuilds when
// significant_colors is not one per vertex. True when it rebuilt.
bool refresh_significant_colors(MeshSlot& slot);

// The alignment actions' rule: true when significant_colors is empty or
// color_tolerance is not exactly equal to color_cache_key (so a tolerance
// with a fractional part always counts as stale).
bool significant_colors_stale(const MeshSlot& slot);
