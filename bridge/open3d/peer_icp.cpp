// The peer ICP table of app/peer_icp.h on Open3D: its point-to-plane and
// coloured ICP run as a schedule of stages, each entry opening a Session
// first.
//
// The library's one-call coloured registration first derives the target's
// colour gradients (a 30-neighbour fit around every target point), then runs
// the plain registration loop on a target cloud that carries them. Done per
// stage of every trial, that derivation is a third of a coloured schedule's
// time, yet it depends only on the target and the stage's distance, which a
// batch never changes. So the gradients are derived once per stage when the
// clouds are prepared, and each stage runs the library's plain loop on a
// target carrying the stage's gradients: the same arithmetic on the same
// numbers as the one-call form.
//
// The loop itself is the library's, copied in icp_loop.h so that the
// target's k-d tree is built once per batch and each pairing search is
// bounded; the poses stay the library's bit for bit.
#include "app/peer_icp.h"

#include <exception>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include <open3d/geometry/PointCloud.h>
#include <open3d/pipelines/registration/ColoredICP.h>
#include <open3d/pipelines/registration/Registration.h>

#include "bridge/open3d/conversions.h"
#include "bridge/open3d/icp_loop.h"
#include "bridge/open3d/session.h"

namespace o3g = open3d::geometry;
namespace o3r = open3d::pipelines::registration;

namespace {

using Gradients = std::vector<Eigen::Vector3d>;

// The shape of the target cloud the library's coloured estimation reads:
// a cloud followed by one colour gradient per point. The library keeps its
// own such type to itself and reads the gradients at that place of whatever
// target it is given.
struct GradientCloud : o3g::PointCloud {
  Gradients color_gradient;
};
static_assert(sizeof(GradientCloud) == sizeof(o3g::PointCloud) + sizeof(Gradients),
              "the gradients follow the cloud directly");

// A coloured estimation that moves nothing and keeps a copy of the
// gradients of the target the library hands it: called by the one-call
// coloured registration, it receives the target with the gradients that
// call derived. The copy is taken only when its length matches the cloud,
// so a library that keeps them elsewhere yields no gradients, not garbage.
class GradientCapture : public o3r::TransformationEstimationForColoredICP {
 public:
  explicit GradientCapture(Gradients& out) : out_(out) {}
  Eigen::Matrix4d ComputeTransformation(const o3g::PointCloud&, const o3g::PointCloud& target,
                                        const o3r::CorrespondenceSet&) const override {
    const auto& found = *reinterpret_cast<const Gradients*>(
        reinterpret_cast<const char*>(&target) + sizeof(o3g::PointCloud));
    if (found.size() == target.points_.size()) out_ = found;
    return Eigen::Matrix4d::Identity();
  }

 private:
  Gradients& out_;
};

// Relative change of the pairs' share and RMS distance that ends a stage
// (the library's default).
const double kRelativeChange = 1e-6;

}  // namespace

struct PeerClouds {
  o3g::PointCloud source;
  GradientCloud target;              // its color_gradient is stage k's while stage k runs
  std::unique_ptr<TargetTree> tree;  // on the target's points
  std::vector<double> distances;     // pairing distance of each stage
  std::vector<Gradients> gradients;  // per stage; empty unless prepared for colour
};

namespace {

// The target's gradients for pairing distance `distance`, as the one-call
// coloured registration derives them (neighbours within twice the distance,
// at most 30): one step of it from the identity on the target itself.
bool derive_gradients(const GradientCloud& target, double distance, Gradients& out) {
  const o3r::ICPConvergenceCriteria one_step(kRelativeChange, kRelativeChange, 1);
  o3r::RegistrationColoredICP(target, target, distance, Eigen::Matrix4d::Identity(),
                              GradientCapture(out), one_step);
  return out.size() == target.points_.size();
}

PeerClouds* prepare(const MatchCloud& source, const MatchCloud& target, const double* distances,
                    int stage_count, bool colored, std::string& error) {
  Session session;
  auto clouds = std::make_unique<PeerClouds>();
  const bool ok = guarded(error, [&] {
    clouds->source = to_cloud(source);
    static_cast<o3g::PointCloud&>(clouds->target) = to_cloud(target);
    clouds->tree = std::make_unique<TargetTree>(clouds->target);
    clouds->distances.assign(distances, distances + stage_count);
    if (!colored) return;
    clouds->gradients.resize(size_t(stage_count));
    for (int k = 0; k < stage_count; k++)
      if (!derive_gradients(clouds->target, distances[k], clouds->gradients[size_t(k)]))
        throw std::runtime_error("the library keeps its colour gradients where this module "
                                 "does not look for them");
  });
  return ok ? clouds.release() : nullptr;
}

// Puts a stage's gradients into the target for the stage's run and takes
// them back afterwards, so each stage's list is kept once and never copied.
class StageGradients {
 public:
  StageGradients(GradientCloud& target, Gradients& stage) : target_(target), stage_(stage) {
    std::swap(target_.color_gradient, stage_);
  }
  ~StageGradients() { std::swap(target_.color_gradient, stage_); }
  StageGradients(const StageGradients&) = delete;
  StageGradients& operator=(const StageGradients&) = delete;

 private:
  GradientCloud& target_;
  Gradients& stage_;
};

// One stage from `pose`: the library's plain registration loop, with the
// stage's gradients in the target for the coloured variant.
o3r::RegistrationResult run_stage(PeerClouds& clouds, size_t k, const Eigen::Matrix4d& pose,
                                  const o3r::ICPConvergenceCriteria& criteria, bool colored,
                                  PairHints& hints) {
  const double distance = clouds.distances[k];
  if (!colored)
    return icp_loop(clouds.source, clouds.target, *clouds.tree, distance, pose,
                    o3r::TransformationEstimationPointToPlane(), criteria, hints);
  const StageGradients in_place(clouds.target, clouds.gradients[k]);
  return icp_loop(clouds.source, clouds.target, *clouds.tree, distance, pose,
                  o3r::TransformationEstimationForColoredICP(), criteria, hints);
}

bool schedule(PeerClouds& clouds, const double start[16], int iterations, bool colored,
              PeerIcpOutcome& outcome, std::string& error) {
  Session session;
  outcome = PeerIcpOutcome();
  if (colored && clouds.gradients.size() != clouds.distances.size()) {
    error = "the clouds were prepared without colour gradients";
    return false;
  }
  return guarded(error, [&] {
    const o3r::ICPConvergenceCriteria criteria(kRelativeChange, kRelativeChange, iterations);
    Eigen::Matrix4d pose = from_array(start);
    PairHints hints;
    for (size_t k = 0; k < clouds.distances.size(); k++) {
      o3r::RegistrationResult found;
      // The coloured variant reports a stage without pairs by an exception,
      // point-to-plane by a share of 0; both end the schedule where it is.
      try {
        found = run_stage(clouds, k, pose, criteria, colored, hints);
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
      outcome.stages_run = int(k) + 1;
    }
    to_array(pose, outcome.pose);
  });
}

void release(PeerClouds* clouds) {
  Session session;
  delete clouds;
}

const PeerIcp kTable = {kPeerIcpVersion, prepare, schedule, release};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PeerIcp* icp_open3d_peer_icp() {
  return &kTable;
}
