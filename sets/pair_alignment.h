// One pair of a scan set aligned and verified: scan b placed on scan a.
//
// From the scans' own poses (when the caller trusts them) the ICP runs
// first; when that does not verify, or without poses, the global
// prealignment (registration/prealign.h) places b from anywhere and the ICP
// refines its pose. The colour ICP runs when both scans carry colour. Every
// pose found is measured on the full scans as the prealignment measures its
// hypotheses (placement_check.h: overlap, and RMS partner distance in point
// spacings) and verified by the same limits; the verified pose of best
// quality is kept. The result depends on the two scans, the start and the
// seed only, so pairs can run side by side in any order.
#pragma once

#include <cstdint>

#include "registration/MeshSlot.h"
#include "sets/scan_graph.h"

// A scan of a set, ready for pairing: loaded as the program loads a scan
// (normals, curvatures, neighbours), its bounding box computed, and, when
// it has colours, its colour features prepared; `spacing` is its point
// spacing. Nothing here changes while pairs run.
struct PairScan {
  MeshSlot slot;
  double spacing = 0.0;
  bool colored = false;
};

// Aligns b onto a; `start` (may be null) is b's pose in a's frame to try the
// ICP from first. Reads the scans only (their meshes must have normals and
// bounding boxes already). outcome.a/b are left for the caller to set.
PairOutcome align_pair(const PairScan& a, const PairScan& b, const PoseMatrix* start,
                       uint32_t seed);

// Readies a loaded scan for align_pair (see PairScan).
void ready_for_pairing(PairScan& scan);
