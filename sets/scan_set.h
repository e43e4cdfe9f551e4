// A whole set of overlapping scans aligned into one frame.
//
// Every pair of scans is a candidate. The pairs are aligned and verified
// (pair_alignment.h) side by side on all cores, each on its own state, so
// the outcome is the same for any thread count. The graph step
// (scan_graph.h) keeps the pairs that agree with each other and places the
// scans along a maximum spanning tree; the pose graph of the tree's pairs
// (kept) and the agreeing loops (dropped when they disagree after all) is
// then optimised (registration/pose_graph.h), anchored at the first placed
// scan, which keeps its own pose. A scan that joins no verified pair is left
// out and said so, never placed by a guess.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "registration/global_matching.h"
#include "sets/pair_alignment.h"
#include "sets/scan_graph.h"

struct SetOptions {
  // Treat every scan as in an unrelated frame (ignore the poses it was
  // loaded with); otherwise a pair's ICP starts from their poses first.
  bool ignore_poses = false;
  // Called after every pair, from any thread but one call at a time.
  std::function<void(int done, int total)> progress;
};

struct SetAlignment {
  std::vector<PairOutcome> pairs;   // every pair tried, in (a, b) order
  SetPlan plan;                     // roles of the pairs, scans placed
  std::vector<bool> in_graph;       // per pair: an edge of the final, optimised graph
  std::vector<PoseMatrix> poses;    // per scan: its final pose (frame -> the anchor's
                                    // common frame); its input pose when not placed
  std::string optimisation;         // how the pose graph went, one line
  double milliseconds = 0.0;        // wall time of the whole alignment, of which
  double ready_ms = 0.0;            // readying the scans' clouds and features,
  double pairs_ms = 0.0;            // aligning the pairs (the rest: the graph)
};

// Aligns the scans (each readied by ready_for_pairing, slot.pose its input
// pose). The anchor keeps its input pose; with ignore_poses every input
// pose counts as the identity.
SetAlignment align_scan_set(const std::vector<PairScan>& scans, const SetOptions& options);

// Pair distance (scan units) and 6x6 information matrix (row-major) of the
// pairs between `target` and `source` placed in target's frame by
// source_to_target: for every source point, its nearest target point within
// `distance`, contributing the motion it pins down.
void information_matrix(const MatchCloud& source, const MatchCloud& target,
                        const PoseMatrix& source_to_target, double distance, double out[36]);
