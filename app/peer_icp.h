// Peer ICPs from the point-cloud library, so a trial batch can measure other
// methods from exactly the same starts as its own two variants. The
// implementation lives in the shared module icp_open3d.so
// (bridge/open3d/peer_icp.cpp), opened on the first call of peer_icp(); a
// batch without peers never loads it. Its calls follow the module's rule
// (registration/global_matching.h): one lock, one library thread, so the same
// arguments give the same pose bit for bit whatever else runs.
#pragma once

#include <string>

#include "registration/global_matching.h"

// What one schedule of ICP stages ended with.
struct PeerIcpOutcome {
  double pose[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // source -> target, column-major
  double fitness = 0.0;      // share of source points paired in the last stage that found pairs
  double inlier_rmse = 0.0;  // RMS distance of those pairs, scene units
  int stages_run = 0;        // stages that found pairs
  std::string note;          // why the schedule stopped early ("" when it ran to its end)
};

struct PeerIcp {
  int version;  // kPeerIcpVersion: the module and the program agree on this table

  // Runs `stage_count` ICP stages, stage k from the pose the previous one
  // reached (the first from `start`), pairing points no further apart than
  // distances[k], at most `iterations` steps each, stopping a stage when the
  // share of paired points and their RMS distance change by less than 1e-6
  // (relative). Point-to-plane (needs target normals), or the colour-aware
  // variant (photometric and geometric terms; needs normals and colours of
  // both) when `colored`. A stage that finds no pairs ends the schedule at
  // the pose reached so far, with `note` saying which stage. False, with
  // `error` set to one line, for any other failure of the library.
  bool (*schedule)(const MatchCloud& source, const MatchCloud& target, const double start[16],
                   const double* distances, int stage_count, int iterations, bool colored,
                   PeerIcpOutcome& outcome, std::string& error);
};

const int kPeerIcpVersion = 1;

// The module's table, opened on the first call; null when the module or one
// of its libraries is missing or does not match, with `*why` (may be null)
// saying which.
const PeerIcp* peer_icp(std::string* why);
