// The prealignment's method; the point-cloud library's primitives come
// through registration/global_matching.h (a module opened on first use).
#include "registration/prealign.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "registration/timer.h"

#include "registration/global_matching.h"
#include "registration/thin_cloud.h"

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

bool prealign_mesh2(Aligner& aligner, PrealignResult* outcome) {
  MeshSlot& fixed = *aligner.slots[0];
  MeshSlot& moving = *aligner.slots[1];
  if (!fixed.mesh || !moving.mesh) {
    std::fputs("Prealignment failed: a mesh is missing\n", stderr);
    return false;
  }
  PrealignResult result = prealign(*fixed.mesh, fixed.pose, *moving.mesh, moving.pose);
  std::fputs(prealign_report_line(result).c_str(), stderr);
  moving.pose = result.pose;
  if (outcome) *outcome = result;
  return result.ok;
}

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
const uint32_t kMatcherSeed = 1;

// Diagonal of the box of the finite vertices; 0 when there are none.
double box_diagonal(TriMesh& mesh) {
  mesh.need_bounding_box();
  if (!mesh.bounding_box.valid) return 0.0;
  point s = mesh.bounding_box.max - mesh.bounding_box.min;
  return std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
}

// Share of `source`'s points that land within `distance` of a point of
// `target` when moved by source_to_target.
float fitness(const MatchCloud& source, const MatchCloud& target, const PoseMatrix& source_to_target,
              double distance) {
  if (source.points.empty()) return 0.0f;
  PointGrid grid(target.points, distance);
  size_t matched = 0;
  for (const point& p : source.points)
    if (grid.nearest(transform_point(source_to_target, p), distance) >= 0) matched++;
  return float(double(matched) / double(source.points.size()));
}

PrealignResult run(const GlobalMatching& library, TriMesh& fixed, const PoseMatrix& fixed_pose,
                   TriMesh& moving, const PoseMatrix& moving_pose) {
  double diagonal = std::min(box_diagonal(fixed), box_diagonal(moving));
  if (!(diagonal > 0.0) || !std::isfinite(diagonal))
    return refuse(moving_pose, "a scan has no extent (no vertices, or all in one point)");
  const double voxel = kVoxelFraction * diagonal;

  fixed.need_normals();
  moving.need_normals();
  const MatchCloud target = thin_scan(fixed, voxel, false);
  const MatchCloud source = thin_scan(moving, voxel, false);
  if (target.points.size() < size_t(kPrealignMinPoints) ||
      source.points.size() < size_t(kPrealignMinPoints)) {
    char text[160];
    std::snprintf(text, sizeof text, "too few points to match (%zu and %zu, at least %d each)",
                  target.points.size(), source.points.size(), kPrealignMinPoints);
    return refuse(moving_pose, text);
  }

  std::string error;
  MatchFeatures target_features, source_features;
  if (!library.fpfh(target, kFeatureRadiusVoxels * voxel, kFeatureMaxNeighbours, target_features,
                    error) ||
      !library.fpfh(source, kFeatureRadiusVoxels * voxel, kFeatureMaxNeighbours, source_features,
                    error))
    return refuse(moving_pose, "prealignment failed: " + error);

  const double match_distance = kMatchDistanceVoxels * voxel;
  PoseMatrix found;
  if (!library.fast_global(source, source_features, target, target_features, match_distance,
                           kMatcherSeed, found.m, error))
    // The matcher gives up when fewer than two feature matches survive its
    // mutual and tuple tests: nothing of mesh 2 looks like mesh 1.
    return refuse(moving_pose, "no overlap found (no consistent feature matches)");

  PrealignResult result;
  result.fitness = fitness(source, target, found, match_distance);
  char text[160];
  if (!std::isfinite(result.fitness) || result.fitness < kPrealignMinFitness) {
    std::snprintf(text, sizeof text, "no overlap found (fitness %.3f, needs %.2f)",
                  result.fitness, kPrealignMinFitness);
    result.pose = moving_pose;
    result.fitness = std::isfinite(result.fitness) ? result.fitness : 0.0f;
    result.message = text;
    return result;
  }
  // `found` maps mesh 2's frame to mesh 1's; mesh 1's pose carries on to the
  // common frame.
  result.ok = true;
  result.pose = fixed_pose * found;
  std::snprintf(text, sizeof text, "fitness %.3f on %zu and %zu points", result.fitness,
                target.points.size(), source.points.size());
  result.message = text;
  return result;
}

}  // namespace

bool prealignment_available() { return global_matching(nullptr) != nullptr; }

PrealignResult prealign(TriMesh& fixed, const PoseMatrix& fixed_pose, TriMesh& moving,
                        const PoseMatrix& moving_pose) {
  Timer timer;
  std::string why;
  const GlobalMatching* library = global_matching(&why);
  PrealignResult result =
      library ? run(*library, fixed, fixed_pose, moving, moving_pose)
              : refuse(moving_pose, "prealignment is unavailable: " + why);
  result.milliseconds = timer.elapsed_ms();
  return result;
}
