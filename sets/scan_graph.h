// The graph step of a scan set: from every pair tried, which scans can be
// placed, by which pairs, and which pairs are wrong. Plain logic on poses,
// no scans needed.
//
// A pair's result is trusted only when it was verified (its overlap and
// residual passed the prealignment's check) and when no independent
// evidence contradicts it:
// 1. Triangles: for a pair a-b and a third scan k verified with both, the
//    loop a-k-b must close (within kLoopDegrees and kLoopShift); a pair
//    that more triangles contradict than support is rejected.
// 2. A maximum spanning tree by quality over the pairs left (Kruskal, ties
//    by pair order): the fewest, best pairs that join the scans.
// 3. Loops: every other pair must agree with the placement the tree gives;
//    when some disagree, the tree pair that lies on the most disagreeing
//    loops, and on more of them than on agreeing ones, is rejected and the
//    tree rebuilt without it (among equally blamed ones, the one of lowest
//    quality: one loop alone cannot tell which of its pairs is wrong). The pairs that agree become loop closures.
// The scans placed are those of the largest tree (ties: the one with the
// earliest scan); its earliest scan is the anchor, whose frame the others'
// poses are expressed in. A scan outside it is left out, never guessed.
#pragma once

#include <string>
#include <vector>

#include "geometry/PoseMatrix.h"
#include "geometry/Vec.h"

// The outcome of aligning one pair of scans.
struct PairOutcome {
  int a = 0, b = 0;        // scan indices, a < b
  bool verified = false;   // passed the placement check
  float overlap = 0.0f;    // share of b's sample with a partner on a, 0..1
  float residual = 0.0f;   // RMS partner distance, in point spacings
  float quality = 0.0f;    // overlap x (1 - residual / 4): larger is better
  PoseMatrix b_to_a;       // b's frame -> a's frame
  std::string note;        // how it was found, or why it failed
  double prealign_ms = 0;  // time it took: prealignment, and ICP (not part of
  double icp_ms = 0;       // the result: it varies from run to run)
};

// Where a scan is and how large, in its own frame: the scale of the checks.
struct ScanExtent {
  point centre;
  double diagonal = 0.0;
};

enum class PairRole { unverified, rejected, tree, loop };

struct SetPlan {
  std::vector<PairRole> roles;        // per pair
  std::vector<std::string> reasons;   // per pair: why rejected (else empty)
  std::vector<bool> placed;           // per scan
  std::vector<PoseMatrix> poses;      // per scan: its frame -> the anchor's (identity if not placed)
  int anchor = -1;                    // -1 only for an empty set
};

// Two poses of one scan agree when they differ by at most this rotation and
// move its box centre by at most this share of its diagonal.
const double kLoopDegrees = 1.0;
const double kLoopShift = 0.01;

SetPlan plan_set(const std::vector<PairOutcome>& pairs, const std::vector<ScanExtent>& extents);

// True when the two poses of the scan with extent `e` agree (see above).
bool poses_agree(const PoseMatrix& p, const PoseMatrix& q, const ScanExtent& e);

// Rotation angle of a pose, in degrees.
double rotation_degrees(const PoseMatrix& pose);
