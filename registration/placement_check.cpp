#include "registration/placement_check.h"

#include <algorithm>
#include <cmath>

namespace {

// Every k-th finite vertex, k chosen so that at most `most` are taken.
std::vector<int32_t> even_sample(const TriMesh& mesh, size_t most) {
  std::vector<int32_t> finite;
  for (size_t i = 0; i < mesh.vertices.size(); i++)
    if (is_finite(mesh.vertices[i])) finite.push_back(int32_t(i));
  if (finite.size() <= most) return finite;
  std::vector<int32_t> sample;
  sample.reserve(most);
  for (size_t k = 0; k < most; k++) sample.push_back(finite[k * finite.size() / most]);
  return sample;
}

// Vertices of mesh 2 measured per placement: enough for overlap shares to
// two decimals, few enough to check a dozen placements in milliseconds.
const size_t kFitSample = 4000;
const size_t kSpacingSample = 2000;

}  // namespace

double point_spacing(const TriMesh& mesh) {
  if (!mesh.bounding_box.valid) return 0.0;
  const point s = mesh.bounding_box.max - mesh.bounding_box.min;
  const double diagonal = std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
  std::vector<int32_t> sample = even_sample(mesh, kSpacingSample);
  if (sample.size() < 2 || !(diagonal > 0.0)) return 0.0;
  // A first guess from the count (a surface of n points across the box),
  // widened until most sampled vertices find a neighbour.
  double cell = 2.0 * diagonal / std::sqrt(double(mesh.vertices.size()));
  for (int attempt = 0; attempt < 8; attempt++, cell *= 4.0) {
    PointGrid grid(mesh.vertices, cell);
    std::vector<float> nearest;
    for (int32_t i : sample) {
      float best = INFINITY;
      const point& p = mesh.vertices[size_t(i)];
      grid.for_each_within(p, cell, [&](int32_t j) {
        float d2 = dist2(p, mesh.vertices[size_t(j)]);
        if (j != i && d2 > 0.0f) best = std::min(best, d2);
      });
      if (best < INFINITY) nearest.push_back(best);
    }
    if (nearest.size() * 2 < sample.size()) continue;
    std::nth_element(nearest.begin(), nearest.begin() + nearest.size() / 2, nearest.end());
    return std::sqrt(double(nearest[nearest.size() / 2]));
  }
  return 0.0;
}

PlacementChecker::PlacementChecker(const TriMesh& fixed, const TriMesh& moving, double cutoff)
    : fixed_(fixed),
      moving_(moving),
      cutoff_(cutoff),
      sample_(even_sample(moving, kFitSample)),
      grid_(fixed.vertices, cutoff) {}

PlacementFit PlacementChecker::measure(const PoseMatrix& moving_to_fixed) const {
  PlacementFit fit;
  if (sample_.empty()) return fit;
  const bool colors = fixed_.colors.size() == fixed_.vertices.size() &&
                      moving_.colors.size() == moving_.vertices.size();
  size_t partners = 0;
  double squares = 0.0, color = 0.0;
  for (int32_t i : sample_) {
    float d2 = 0.0f;
    int j = grid_.nearest(transform_point(moving_to_fixed, moving_.vertices[size_t(i)]), cutoff_,
                          &d2);
    if (j < 0) continue;
    partners++;
    squares += d2;
    if (colors)
      for (int k = 0; k < 3; k++)
        color += std::fabs(double(moving_.colors[size_t(i)][k]) - fixed_.colors[size_t(j)][k]);
  }
  fit.overlap = float(double(partners) / double(sample_.size()));
  fit.residual = partners ? float(std::sqrt(squares / double(partners)) / cutoff_) : 1.0f;
  fit.color = partners && colors ? float(color / (3.0 * double(partners))) : 0.0f;
  return fit;
}
