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
#include "registration/prealign.h"
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

// What the pairs of a set use of one scan, made once per set rather than
// once per pair: its prealignment clouds and features, and the cloud of the
// finishing ICP, on voxels that are fractions of `diagonal`. A pair's voxels
// are fractions of the smaller of its scans' diagonals (as a lone
// prealignment's are), so a scan is readied once for each such diagonal its
// pairs use.
struct SetScanClouds {
  double diagonal = 0.0;
  PrealignScan prealign;
  MatchCloud fine;
};

// Readies a scan (readied by ready_for_pairing) for pairs whose smaller
// diagonal is `diagonal`. Reads the scan only.
SetScanClouds ready_set_clouds(const PairScan& scan, double diagonal);

// The diagonal of a scan's bounding box, the scale of its pairs' voxels.
double scan_diagonal(const PairScan& scan);

// Aligns b onto a, given their clouds (ready_set_clouds, both at the smaller
// of their diagonals); `start` (may be null) is b's pose in a's frame to try
// the ICP from first. Reads its arguments only, and gives what it gives
// with clouds made for this pair alone. outcome.a/b are left for the caller
// to set.
PairOutcome align_pair(const PairScan& a, const SetScanClouds& a_clouds, const PairScan& b,
                       const SetScanClouds& b_clouds, const PoseMatrix* start, uint32_t seed);

// Readies a loaded scan for align_pair (see PairScan).
void ready_for_pairing(PairScan& scan);
