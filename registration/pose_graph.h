// Pose-graph optimisation: the scans of a set as nodes, the pairwise
// alignments between them as edges, and one placement of every node that
// agrees best with all edges (the pairwise errors spread over the loops
// instead of piling up along a chain). The implementation lives in the
// shared module icp_open3d.so, opened on first use as the prealignment's
// matching is (registration/global_matching.h), under the same rules: one
// call at a time, on one thread, so the same graph gives the same poses bit
// for bit.
//
// Poses are 4x4 column-major arrays as in PoseMatrix::m. A node's pose maps
// its scan's frame to the reference node's; an edge's pose maps its source
// scan's frame to its target's, so node[target] * edge = node[source] when
// everything agrees.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PoseGraphEdge {
  int source = 0, target = 0;
  double source_to_target[16];
  // 6x6 information matrix (row-major; rotation first, then translation) of
  // the pairs that support the edge: how firmly it holds each motion.
  double information[36];
  // Certain edges (the spanning tree) always stay; uncertain ones (loop
  // closures) are dropped by the optimisation when they disagree.
  bool uncertain = false;
};

struct PoseGraphSettings {
  // Pair distance the information matrices were gathered at (scan units).
  double max_correspondence_distance = 0.0;
  // Uncertain edges whose weight falls below this (0..1) are dropped.
  double edge_prune_threshold = 0.25;
  int reference_node = 0;  // keeps its pose
};

struct PoseGraphOptimiser {
  int version;  // kPoseGraphVersion

  // Optimises `node_poses` (16 values per node, in: the start, out: the
  // result) against the edges; `kept` receives one flag per edge (1: still
  // in the graph after pruning). False, with `error` set to one line, when
  // the library reports a failure (the poses are then as given).
  bool (*optimise)(int node_count, double* node_poses, const PoseGraphEdge* edges,
                   int edge_count, const PoseGraphSettings& settings, uint8_t* kept,
                   std::string& error);
};

const int kPoseGraphVersion = 1;

// The module's table, opened on the first call; null (with `*why`, may be
// null, saying why) when the module or one of its libraries is missing.
const PoseGraphOptimiser* pose_graph_optimiser(std::string* why);
