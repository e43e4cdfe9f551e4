#include "app/curvature_scale.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int kMaxPicks = 500;
constexpr float kRadiusFraction = 0.05f;  // cap of the scale: 5% of the bounding radius
constexpr float kRankFraction = 0.1f;     // rank of the reference curvature among the samples
constexpr float kCurvatureUnit = 0.01f;   // the scale is this over the reference curvature

// Absolute value, with NaN ranked as infinity so the selection below keeps a
// strict weak order.
float sample_value(float k) {
  float a = std::fabs(k);
  return std::isnan(a) ? std::numeric_limits<float>::infinity() : a;
}

}  // namespace

void compute_curvature_scale(MeshSlot& slot, uint32_t& generator) {
  TriMesh& mesh = *slot.mesh;
  mesh.need_bounding_sphere();
  float a = kRadiusFraction * mesh.bounding_sphere.radius;
  if (!(a > 0.0f) || !std::isfinite(a)) a = 1.0f;

  size_t n = mesh.principal_curv1.size();
  if (n == 0 || mesh.principal_curv2.size() != n) {
    slot.curvature_scale = a;
    return;
  }
  int count = int(std::min<size_t>(n, kMaxPicks));
  float samples[2 * kMaxPicks];
  for (int s = 0; s < count; s++) {
    generator = generator * 1664525u + 1013904223u;
    size_t i = generator % n;
    samples[2 * s] = sample_value(mesh.principal_curv1[i]);
    samples[2 * s + 1] = sample_value(mesh.principal_curv2[i]);
  }
  int total = 2 * count;
  int m = int(float(total) * kRankFraction);
  std::nth_element(samples, samples + m, samples + total);
  float q = samples[m];
  float b = q > 0.0f ? kCurvatureUnit / q : std::numeric_limits<float>::infinity();
  if (!(b > 0.0f)) b = a;  // q infinite: no usable reference curvature
  slot.curvature_scale = b <= a ? b : a;
}

void compute_curvature_scale(MeshSlot& slot) {
  static uint32_t generator = 0;
  compute_curvature_scale(slot, generator);
}
