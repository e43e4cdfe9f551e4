#include "registration/pose_graph.h"

#include "geometry/module_loader.h"

const PoseGraphOptimiser* pose_graph_optimiser(std::string* why) {
  return module_table<PoseGraphOptimiser>("icp_open3d_pose_graph", kPoseGraphVersion, why);
}
