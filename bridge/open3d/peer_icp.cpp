// The peer ICP table of app/peer_icp.h on Open3D: its point-to-plane and
// coloured ICP run as a schedule of stages, each opening a Session first.
#include "app/peer_icp.h"

#include <exception>

#include <open3d/geometry/PointCloud.h>
#include <open3d/pipelines/registration/ColoredICP.h>
#include <open3d/pipelines/registration/Registration.h>

#include "bridge/open3d/conversions.h"
#include "bridge/open3d/session.h"

namespace {

namespace o3g = open3d::geometry;
namespace o3r = open3d::pipelines::registration;

// Relative change of the pairs' share and RMS distance that ends a stage
// (the library's default).
const double kRelativeChange = 1e-6;

bool schedule(const MatchCloud& source, const MatchCloud& target, const double start[16],
              const double* distances, int stage_count, int iterations, bool colored,
              PeerIcpOutcome& outcome, std::string& error) {
  Session session;
  outcome = PeerIcpOutcome();
  return guarded(error, [&] {
    const o3g::PointCloud s = to_cloud(source), t = to_cloud(target);
    const o3r::ICPConvergenceCriteria criteria(kRelativeChange, kRelativeChange, iterations);
    Eigen::Matrix4d pose = from_array(start);
    for (int k = 0; k < stage_count; k++) {
      o3r::RegistrationResult found;
      // The coloured variant reports a stage without pairs by an exception,
      // point-to-plane by a share of 0; both end the schedule where it is.
      try {
        if (colored)
          found = o3r::RegistrationColoredICP(s, t, distances[k], pose,
                                              o3r::TransformationEstimationForColoredICP(), criteria);
        else
          found = o3r::RegistrationICP(s, t, distances[k], pose,
                                       o3r::TransformationEstimationPointToPlane(), criteria);
      } catch (const std::exception& e) {
        outcome.note = "stage " + std::to_string(k) + ": " + plain_text(e.what());
        break;
      }
      if (found.fitness_ == 0.0) {
        outcome.note = "stage " + std::to_string(k) + ": no pairs within reach";
        break;
      }
      pose = found.transformation_;
      outcome.fitness = found.fitness_;
      outcome.inlier_rmse = found.inlier_rmse_;
      outcome.stages_run = k + 1;
    }
    to_array(pose, outcome.pose);
  });
}

const PeerIcp kTable = {kPeerIcpVersion, schedule};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PeerIcp* icp_open3d_peer_icp() {
  return &kTable;
}
