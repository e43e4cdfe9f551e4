#include "bridge/open3d/icp_loop.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <nanoflann.hpp>

namespace o3g = open3d::geometry;
namespace o3r = open3d::pipelines::registration;

namespace {

// The tree walk's result holder, answering as the library's one-nearest
// holder does (a point replaces the kept one only when strictly nearer, so
// the first of equally near points stays), but starting from `bound2`
// instead of no bound.
class BoundedNearest {
 public:
  explicit BoundedNearest(double bound2) : worst_(bound2) {}
  bool addPoint(double distance2, long index) {
    if (distance2 < worst_) {
      worst_ = distance2;
      index_ = index;
    }
    return true;  // the walk goes on
  }
  double worstDist() const { return worst_; }
  bool full() const { return index_ >= 0; }
  long index() const { return index_; }

 private:
  double worst_;
  long index_ = -1;
};

// The margin added to every search bound, in squared scene units: the box
// distances the walk prunes by are sums of up to a few dozen squares of
// coordinate differences no larger than the target's extent plus the
// pairing distance, each rounded to about 1e-16 of that square, so 1e-12
// of it lies far above their rounding.
double bound_margin(const TargetTree& tree, double distance) {
  const double reach = std::sqrt(tree.extent2()) + distance;
  return 1e-12 * reach * reach;
}

double squared_distance(const Eigen::Vector3d& a, const Eigen::Vector3d& b) {
  return (a - b).squaredNorm();
}

// The library's pairing step: each source point with its nearest target
// point closer than `distance`, in source order, the pairs' share of the
// source and their RMS distance. `hints` bound each search and receive the
// new partners.
o3r::RegistrationResult pair_points(const o3g::PointCloud& source, const o3g::PointCloud& target,
                                    const TargetTree& tree, double distance,
                                    const Eigen::Matrix4d& transformation, PairHints& hints) {
  o3r::RegistrationResult result(transformation);
  const double radius2 = distance * distance;
  const double margin = bound_margin(tree, distance);
  hints.resize(source.points_.size(), -1);
  double error2 = 0.0;
  for (size_t i = 0; i < source.points_.size(); i++) {
    const Eigen::Vector3d& point = source.points_[i];
    double bound2 = radius2;
    if (hints[i] >= 0)
      bound2 = std::min(bound2, squared_distance(point, target.points_[size_t(hints[i])]));
    long index = -1;
    double distance2 = 0.0;
    hints[i] = -1;
    if (!tree.nearest(point, bound2 + margin, index, distance2)) continue;
    hints[i] = index;
    if (!(distance2 < radius2)) continue;  // the library's cut: below the distance only
    error2 += distance2;
    result.correspondence_set_.push_back(Eigen::Vector2i(int(i), int(index)));
  }
  // The library sums per thread, then adds each thread's sum to 0; on its
  // one thread that is the same sum.
  if (result.correspondence_set_.empty()) return result;  // share and RMS stay 0
  const size_t pairs = result.correspondence_set_.size();
  result.fitness_ = double(pairs) / double(source.points_.size());
  result.inlier_rmse_ = std::sqrt(error2 / double(pairs));
  return result;
}

}  // namespace

TargetTree::TargetTree(const o3g::PointCloud& target) {
  if (!SetGeometry(target)) throw std::runtime_error("the target cloud has no points");
  const Eigen::Vector3d extent = target.GetMaxBound() - target.GetMinBound();
  extent2_ = extent.squaredNorm();
}

bool TargetTree::nearest(const Eigen::Vector3d& query, double bound2, long& index,
                         double& distance2) const {
  BoundedNearest found(bound2);
  nanoflann_index_->index->findNeighbors(found, query.data(), nanoflann::SearchParams());
  if (!found.full()) return false;
  index = found.index();
  distance2 = found.worstDist();
  return true;
}

o3r::RegistrationResult icp_loop(const o3g::PointCloud& source, const o3g::PointCloud& target,
                                 const TargetTree& tree, double distance,
                                 const Eigen::Matrix4d& init,
                                 const o3r::TransformationEstimation& estimation,
                                 const o3r::ICPConvergenceCriteria& criteria, PairHints& hints) {
  if (!(distance > 0.0)) throw std::runtime_error("Invalid max_correspondence_distance.");
  if (!target.HasNormals())
    throw std::runtime_error("the target cloud needs normals for this registration");
  Eigen::Matrix4d transformation = init;
  o3g::PointCloud moved = source;
  if (!init.isIdentity()) moved.Transform(init);
  o3r::RegistrationResult result = pair_points(moved, target, tree, distance, transformation, hints);
  for (int i = 0; i < criteria.max_iteration_; i++) {
    const Eigen::Matrix4d update =
        estimation.ComputeTransformation(moved, target, result.correspondence_set_);
    transformation = update * transformation;
    moved.Transform(update);
    const double fitness = result.fitness_, rmse = result.inlier_rmse_;
    result = pair_points(moved, target, tree, distance, transformation, hints);
    if (std::abs(fitness - result.fitness_) < criteria.relative_fitness_ &&
        std::abs(rmse - result.inlier_rmse_) < criteria.relative_rmse_)
      break;
  }
  return result;
}
