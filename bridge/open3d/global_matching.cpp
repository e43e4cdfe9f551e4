// The global matching table of registration/global_matching.h, on Open3D:
// one function per entry, each opening a Session (session.h) first. The
// matchers draw random numbers and hold the module's lock; the feature
// histograms and the ICP draw none and run side by side.
#include "registration/global_matching.h"

#include <exception>
#include <memory>

#include <open3d/geometry/PointCloud.h>
#include <open3d/pipelines/registration/ColoredICP.h>
#include <open3d/pipelines/registration/CorrespondenceChecker.h>
#include <open3d/pipelines/registration/FastGlobalRegistration.h>
#include <open3d/pipelines/registration/Feature.h>
#include <open3d/pipelines/registration/Registration.h>

#include "bridge/open3d/conversions.h"
#include "bridge/open3d/session.h"

namespace {

namespace o3g = open3d::geometry;
namespace o3r = open3d::pipelines::registration;

o3r::Feature to_feature(const MatchFeatures& features, size_t count) {
  o3r::Feature out;
  out.Resize(features.size, int(count));
  for (size_t i = 0; i < count; i++)
    for (int k = 0; k < features.size; k++)
      out.data_(k, int(i)) = features.values[i * size_t(features.size) + size_t(k)];
  return out;
}

bool fpfh(const MatchCloud& cloud, double radius, int max_neighbours, MatchFeatures& features,
          std::string& error) {
  Session session{Session::Concurrent{}};
  return guarded(error, [&] {
    o3g::PointCloud c = to_cloud(cloud);
    std::shared_ptr<o3r::Feature> f =
        o3r::ComputeFPFHFeature(c, o3g::KDTreeSearchParamHybrid(radius, max_neighbours));
    features.size = int(f->Dimension());
    features.values.resize(size_t(f->Num()) * size_t(features.size));
    for (int i = 0; i < int(f->Num()); i++)
      for (int k = 0; k < features.size; k++)
        features.values[size_t(i) * size_t(features.size) + size_t(k)] = float(f->data_(k, i));
  });
}

bool fast_global(const MatchCloud& source, const MatchFeatures& source_features,
                 const MatchCloud& target, const MatchFeatures& target_features,
                 double match_distance, uint32_t seed, double source_to_target[16],
                 std::string& error) {
  Session session(seed);
  return guarded(error, [&] {
    o3r::FastGlobalRegistrationOption option;
    option.use_absolute_scale_ = true;
    option.maximum_correspondence_distance_ = match_distance;
    o3r::RegistrationResult found = o3r::FastGlobalRegistrationBasedOnFeatureMatching(
        to_cloud(source), to_cloud(target), to_feature(source_features, source.points.size()),
        to_feature(target_features, target.points.size()), option);
    to_array(found.transformation_, source_to_target);
  });
}

bool ransac(const MatchCloud& source, const MatchFeatures& source_features,
            const MatchCloud& target, const MatchFeatures& target_features,
            double match_distance, int iterations, uint32_t seed, double source_to_target[16],
            std::string& error) {
  Session session(seed);
  return guarded(error, [&] {
    o3r::CorrespondenceCheckerBasedOnEdgeLength edges(0.9);
    o3r::CorrespondenceCheckerBasedOnDistance distance(match_distance);
    o3r::RegistrationResult found = o3r::RegistrationRANSACBasedOnFeatureMatching(
        to_cloud(source), to_cloud(target), to_feature(source_features, source.points.size()),
        to_feature(target_features, target.points.size()), true, match_distance,
        o3r::TransformationEstimationPointToPoint(false), 3, {edges, distance},
        o3r::RANSACConvergenceCriteria(iterations, 0.999));
    to_array(found.transformation_, source_to_target);
  });
}

bool refine(const MatchCloud& source, const MatchCloud& target, const double start[16],
            double max_distance, int iterations, bool use_color, double source_to_target[16],
            std::string& error) {
  Session session{Session::Concurrent{}};
  return guarded(error, [&] {
    o3g::PointCloud s = to_cloud(source), t = to_cloud(target);
    const o3r::ICPConvergenceCriteria criteria(1e-6, 1e-6, iterations);
    o3r::RegistrationResult found;
    if (use_color && s.HasColors() && t.HasColors())
      found = o3r::RegistrationColoredICP(s, t, max_distance, from_array(start),
                                          o3r::TransformationEstimationForColoredICP(), criteria);
    else
      found = o3r::RegistrationICP(s, t, max_distance, from_array(start),
                                   o3r::TransformationEstimationPointToPlane(), criteria);
    to_array(found.transformation_, source_to_target);
  });
}

const GlobalMatching kTable = {kGlobalMatchingVersion, fpfh, fast_global, ransac, refine};

}  // namespace

extern "C" __attribute__((visibility("default"))) const GlobalMatching*
icp_open3d_global_matching() {
  return &kTable;
}
