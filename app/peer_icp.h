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

// Both scans as the library's clouds, with what every schedule on them
// reuses because the target never moves: the per-stage colour gradients of
// the target for the colour-aware variant. Made once per batch by
// `prepare`, owned by the module, freed by `release`.
struct PeerClouds;

struct PeerIcp {
  int version;  // kPeerIcpVersion: the module and the program agree on this table

  // Copies `source` and `target` into the library's clouds for schedules of
  // `stage_count` stages pairing points no further apart than distances[k]
  // at stage k (copied too). With `colored`, also derives the target's colour
  // gradients for each stage (needs normals and colours of both). Null, with
  // `error` set to one line, when the library fails.
  PeerClouds* (*prepare)(const MatchCloud& source, const MatchCloud& target,
                         const double* distances, int stage_count, bool colored,
                         std::string& error);

  // Runs the stages on `clouds`, stage k from the pose the previous one
  // reached (the first from `start`), at most `iterations` steps each,
  // stopping a stage when the share of paired points and their RMS distance
  // change by less than 1e-6. Point-to-plane (target normals), or the
  // colour-aware variant (photometric and geometric terms) when `colored`,
  // which needs clouds prepared with `colored`. A stage that finds no pairs
  // ends the schedule at the pose reached so far, with `note` saying which
  // stage. The result equals the library's own one-call registration of each
  // stage on the same clouds, bit for bit. False, with `error` set to one
  // line, for any other failure of the library. Calls on the same clouds may
  // come from several threads; they run one after another.
  bool (*schedule)(PeerClouds& clouds, const double start[16], int iterations, bool colored,
                   PeerIcpOutcome& outcome, std::string& error);

  void (*release)(PeerClouds* clouds);
};

const int kPeerIcpVersion = 2;

// The module's table, opened on the first call; null when the module or one
// of its libraries is missing or does not match, with `*why` (may be null)
// saying which.
const PeerIcp* peer_icp(std::string* why);
