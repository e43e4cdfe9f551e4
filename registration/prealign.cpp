// The one file of the project that sees the point-cloud library behind the
// prealignment (Open3D): its types stay here, and the rest of the project
// talks to it through registration/prealign.h only.
#include "registration/prealign.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "registration/timer.h"

#ifdef ICP_HAVE_OPEN3D
#include <omp.h>

#include <exception>
#include <memory>

#include <open3d/geometry/PointCloud.h>
#include <open3d/pipelines/registration/FastGlobalRegistration.h>
#include <open3d/pipelines/registration/Feature.h>
#include <open3d/pipelines/registration/Registration.h>
#include <open3d/utility/Logging.h>
#include <open3d/utility/Random.h>
#endif

namespace {

PrealignResult refuse(const PoseMatrix& moving_pose, const std::string& why) {
  PrealignResult result;
  result.pose = moving_pose;
  result.message = why;
  return result;
}

}  // namespace

std::string prealign_report_line(const PrealignResult& result) {
  char text[320];
  if (result.ok)
    std::snprintf(text, sizeof text, "Prealignment succeeded - fitness = %f, %.2f msec.\n",
                  result.fitness, result.milliseconds);
  else
    std::snprintf(text, sizeof text, "Prealignment failed: %s (%.2f msec.)\n",
                  result.message.c_str(), result.milliseconds);
  return text;
}

bool prealign_mesh2(Aligner& aligner) {
  MeshSlot& fixed = *aligner.slots[0];
  MeshSlot& moving = *aligner.slots[1];
  if (!fixed.mesh || !moving.mesh) {
    std::fputs("Prealignment failed: a mesh is missing\n", stderr);
    return false;
  }
  PrealignResult result = prealign(*fixed.mesh, fixed.pose, *moving.mesh, moving.pose);
  std::fputs(prealign_report_line(result).c_str(), stderr);
  moving.pose = result.pose;
  return result.ok;
}

#ifdef ICP_HAVE_OPEN3D

namespace {

// Scale of the whole method, as fractions of the smaller of the two
// bounding-box diagonals. 3 % leaves some 600-1500 points on a typical scan:
// enough for distinctive features, few enough to match in tens of
// milliseconds; finer voxels were slower without being more reliable.
const double kVoxelFraction = 0.03;
// Feature neighbourhood: 5 voxel edges, at most 100 neighbours, the usual
// choice for FPFH (it must see the shape, not the voxel noise).
const double kFeatureRadiusVoxels = 5.0;
const int kFeatureMaxNeighbours = 100;
// Pairs closer than 1.5 voxel edges count as matched, for the matcher and
// for the fitness figure.
const double kMatchDistanceVoxels = 1.5;
// The matcher's random tuple test always starts from this seed.
const int kMatcherSeed = 1;

namespace o3g = open3d::geometry;
namespace o3r = open3d::pipelines::registration;

// Diagonal of the box of the finite vertices; 0 when there are none.
double box_diagonal(TriMesh& mesh) {
  mesh.need_bounding_box();
  if (!mesh.bounding_box.valid) return 0.0;
  point s = mesh.bounding_box.max - mesh.bounding_box.min;
  return std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
}

// The scan's finite vertices with their normals, in its own frame.
o3g::PointCloud to_cloud(TriMesh& mesh) {
  mesh.need_normals();
  o3g::PointCloud cloud;
  cloud.points_.reserve(mesh.vertices.size());
  cloud.normals_.reserve(mesh.vertices.size());
  for (size_t i = 0; i < mesh.vertices.size(); i++) {
    const point& p = mesh.vertices[i];
    if (!is_finite(p)) continue;
    const point& n = mesh.normals[i];
    cloud.points_.emplace_back(p.x, p.y, p.z);
    cloud.normals_.emplace_back(n.x, n.y, n.z);
  }
  return cloud;
}

// Voxel centroids with their averaged normals, renormalised; a voxel whose
// normals cancel out (a thin sheet seen from both sides) is dropped, since
// its feature would be noise.
std::shared_ptr<o3g::PointCloud> thin(const o3g::PointCloud& cloud, double voxel) {
  std::shared_ptr<o3g::PointCloud> down = cloud.VoxelDownSample(voxel);
  auto kept = std::make_shared<o3g::PointCloud>();
  for (size_t i = 0; i < down->points_.size(); i++) {
    double length = down->normals_[i].norm();
    if (!(length > 1e-6)) continue;
    kept->points_.push_back(down->points_[i]);
    kept->normals_.push_back(down->normals_[i] / length);
  }
  return kept;
}

// The library's error text without its terminal colour codes and line ends.
std::string plain_text(const char* text) {
  std::string out;
  for (const char* c = text; *c; c++) {
    if (*c == '\x1b') {
      while (*c && *c != 'm') c++;
      if (!*c) break;
    } else if (*c != '\n' && *c != '\r') {
      out += *c;
    }
  }
  return out;
}

PoseMatrix to_pose(const Eigen::Matrix4d& m) {
  PoseMatrix pose;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) pose.at(r, c) = m(r, c);
  return pose;
}

// The method proper; may throw (the library reports failures by exception).
PrealignResult run(TriMesh& fixed, const PoseMatrix& fixed_pose, TriMesh& moving,
                   const PoseMatrix& moving_pose) {
  double diagonal = std::min(box_diagonal(fixed), box_diagonal(moving));
  if (!(diagonal > 0.0) || !std::isfinite(diagonal))
    return refuse(moving_pose, "a scan has no extent (no vertices, or all in one point)");
  const double voxel = kVoxelFraction * diagonal;

  std::shared_ptr<o3g::PointCloud> target = thin(to_cloud(fixed), voxel);
  std::shared_ptr<o3g::PointCloud> source = thin(to_cloud(moving), voxel);
  if (target->points_.size() < size_t(kPrealignMinPoints) ||
      source->points_.size() < size_t(kPrealignMinPoints)) {
    char text[160];
    std::snprintf(text, sizeof text, "too few points to match (%zu and %zu, at least %d each)",
                  target->points_.size(), source->points_.size(), kPrealignMinPoints);
    return refuse(moving_pose, text);
  }

  o3g::KDTreeSearchParamHybrid feature_search(kFeatureRadiusVoxels * voxel,
                                               kFeatureMaxNeighbours);
  std::shared_ptr<o3r::Feature> target_features = o3r::ComputeFPFHFeature(*target, feature_search);
  std::shared_ptr<o3r::Feature> source_features = o3r::ComputeFPFHFeature(*source, feature_search);

  const double match_distance = kMatchDistanceVoxels * voxel;
  o3r::FastGlobalRegistrationOption option;
  option.use_absolute_scale_ = true;
  option.maximum_correspondence_distance_ = match_distance;
  open3d::utility::random::Seed(kMatcherSeed);
  o3r::RegistrationResult found;
  try {
    found = o3r::FastGlobalRegistrationBasedOnFeatureMatching(*source, *target, *source_features,
                                                              *target_features, option);
  } catch (const std::exception&) {
    // The matcher gives up by exception when fewer than two feature matches
    // survive its mutual and tuple tests: nothing of mesh 2 looks like mesh 1.
    return refuse(moving_pose, "no overlap found (no consistent feature matches)");
  }
  // The matcher's own fitness is left unset; measure it on the thinned scans.
  o3r::RegistrationResult measured =
      o3r::EvaluateRegistration(*source, *target, match_distance, found.transformation_);

  PrealignResult result;
  result.fitness = static_cast<float>(measured.fitness_);
  char text[160];
  if (!std::isfinite(result.fitness) || result.fitness < kPrealignMinFitness) {
    std::snprintf(text, sizeof text, "no overlap found (fitness %.3f, needs %.2f)",
                  result.fitness, kPrealignMinFitness);
    result.pose = moving_pose;
    result.fitness = std::isfinite(result.fitness) ? result.fitness : 0.0f;
    result.message = text;
    return result;
  }
  // found.transformation_ maps mesh 2's frame to mesh 1's; mesh 1's pose
  // carries on to the common frame.
  result.ok = true;
  result.pose = fixed_pose * to_pose(found.transformation_);
  std::snprintf(text, sizeof text, "fitness %.3f on %zu and %zu points", result.fitness,
                target->points_.size(), source->points_.size());
  result.message = text;
  return result;
}

}  // namespace

bool prealignment_available() { return true; }

PrealignResult prealign(TriMesh& fixed, const PoseMatrix& fixed_pose, TriMesh& moving,
                        const PoseMatrix& moving_pose) {
  Timer timer;
  open3d::utility::SetVerbosityLevel(open3d::utility::VerbosityLevel::Error);
  // One thread: the matcher's random draws then come in one fixed order
  // (reproducible), and on a busy machine one thread is no slower than
  // several waiting for each other.
  const int threads = omp_get_max_threads();
  omp_set_num_threads(1);
  PrealignResult result;
  try {
    result = run(fixed, fixed_pose, moving, moving_pose);
  } catch (const std::exception& e) {
    result = refuse(moving_pose, "prealignment failed: " + plain_text(e.what()));
  }
  omp_set_num_threads(threads);
  result.milliseconds = timer.elapsed_ms();
  return result;
}

#else

bool prealignment_available() { return false; }

PrealignResult prealign(TriMesh&, const PoseMatrix&, TriMesh&, const PoseMatrix& moving_pose) {
  return refuse(moving_pose, "prealignment is not available in this build");
}

#endif
