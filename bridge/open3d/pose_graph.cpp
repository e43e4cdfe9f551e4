// The pose-graph table of registration/pose_graph.h on Open3D's global
// optimisation (Levenberg-Marquardt with a line process on the uncertain
// edges), opening a Session first.
#include "registration/pose_graph.h"

#include <open3d/pipelines/registration/GlobalOptimization.h>
#include <open3d/pipelines/registration/PoseGraph.h>

#include "bridge/open3d/conversions.h"
#include "bridge/open3d/session.h"

namespace {

namespace o3r = open3d::pipelines::registration;

o3r::PoseGraph to_graph(int node_count, const double* node_poses, const PoseGraphEdge* edges,
                        int edge_count) {
  o3r::PoseGraph graph;
  for (int k = 0; k < node_count; k++)
    graph.nodes_.emplace_back(from_array(node_poses + 16 * size_t(k)));
  for (int k = 0; k < edge_count; k++) {
    const PoseGraphEdge& e = edges[k];
    Eigen::Matrix6d information;
    for (int r = 0; r < 6; r++)
      for (int c = 0; c < 6; c++) information(r, c) = e.information[6 * r + c];
    graph.edges_.emplace_back(e.source, e.target, from_array(e.source_to_target), information,
                              e.uncertain, 1.0);
  }
  return graph;
}

bool optimise(int node_count, double* node_poses, const PoseGraphEdge* edges, int edge_count,
              const PoseGraphSettings& settings, uint8_t* kept, std::string& error) {
  Session session;
  return guarded(error, [&] {
    o3r::PoseGraph graph = to_graph(node_count, node_poses, edges, edge_count);
    const o3r::GlobalOptimizationOption option(settings.max_correspondence_distance,
                                               settings.edge_prune_threshold, 1.0,
                                               settings.reference_node);
    o3r::GlobalOptimization(graph, o3r::GlobalOptimizationLevenbergMarquardt(),
                            o3r::GlobalOptimizationConvergenceCriteria(), option);
    // Pruning keeps the surviving edges in their order.
    size_t next = 0;
    for (int k = 0; k < edge_count; k++) {
      const bool same = next < graph.edges_.size() &&
                        graph.edges_[next].source_node_id_ == edges[k].source &&
                        graph.edges_[next].target_node_id_ == edges[k].target;
      kept[k] = same ? 1 : 0;
      if (same) next++;
    }
    for (int k = 0; k < node_count; k++)
      to_array(graph.nodes_[size_t(k)].pose_, node_poses + 16 * size_t(k));
  });
}

const PoseGraphOptimiser kTable = {kPoseGraphVersion, optimise};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PoseGraphOptimiser*
icp_open3d_pose_graph() {
  return &kTable;
}
