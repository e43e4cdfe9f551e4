// The library's ICP loop (its RegistrationICP) for many registrations onto
// one target: the same steps on the same numbers, so the same pose bit for
// bit, with two pieces of repeated work taken out.
//
// - The library builds a k-d tree on the target in every call; a
//   TargetTree is built once (by the library's own builder, so it is the
//   same tree) and shared by every call.
// - The library pairs each source point with its nearest target point by
//   an unbounded nearest-neighbour search and then drops the pair when it
//   lies at the pairing distance or beyond. Here the same tree walk is
//   bounded from the start: by the pairing distance, and by the distance to
//   the point's previous partner, which the nearest can only beat. A bound
//   at or above the nearest distance leaves the walk's answer as it was
//   (the first point in the walk's order at the smallest distance, with the
//   same distance), only skipping branches that cannot hold it; each bound
//   carries a margin far above the rounding of the walk's own box
//   distances, so rounding never skips the answer either.
#pragma once

#include <vector>

#include <Eigen/Core>
#include <open3d/geometry/KDTreeFlann.h>
#include <open3d/geometry/PointCloud.h>
#include <open3d/pipelines/registration/Registration.h>

// The library's k-d tree on a target cloud, with a bounded nearest search.
class TargetTree : public open3d::geometry::KDTreeFlann {
 public:
  // Builds the tree on `target`'s points (kept by copy, as the library does).
  explicit TargetTree(const open3d::geometry::PointCloud& target);

  // The point nearest `query` among those at squared distance below
  // `bound2`: what the library's nearest search answers whenever that
  // nearest lies below `bound2`. False when none does.
  bool nearest(const Eigen::Vector3d& query, double bound2, long& index, double& distance2) const;

  // Squared length of the tree's bounding-box diagonal (the scale of the
  // search bounds' margin).
  double extent2() const { return extent2_; }

 private:
  double extent2_ = 0.0;
};

// Partner of each source point in the last pairing (-1: none), carried from
// one loop to the next over the same source: only a search bound, so any
// content gives the same results.
using PairHints = std::vector<long>;

// RegistrationICP(source, target, distance, init, estimation, criteria) with
// `tree` built on `target`.
open3d::pipelines::registration::RegistrationResult icp_loop(
    const open3d::geometry::PointCloud& source, const open3d::geometry::PointCloud& target,
    const TargetTree& tree, double distance, const Eigen::Matrix4d& init,
    const open3d::pipelines::registration::TransformationEstimation& estimation,
    const open3d::pipelines::registration::ICPConvergenceCriteria& criteria, PairHints& hints);
