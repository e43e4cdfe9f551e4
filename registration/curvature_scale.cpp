#include "registration/curvature_scale.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/Lcg32.h"

namespace {

Lcg32 g_curvature_sampler;
const size_t kMaxSamples = 500;

}  // namespace

uint32_t curvature_scale_generator_state() { return g_curvature_sampler.state; }
void set_curvature_scale_generator_state(uint32_t state) { g_curvature_sampler.state = state; }

void compute_curvature_scale(MeshSlot& slot) {
  if (!slot.mesh) return;
  TriMesh& mesh = *slot.mesh;
  const size_t n = mesh.principal_curv1.size();
  std::vector<float> samples;
  if (n > 0 && mesh.principal_curv2.size() >= n) {
    size_t count = std::min(n, kMaxSamples);
    samples.reserve(2 * count);
    for (size_t s = 0; s < count; s++) {
      size_t i = size_t(g_curvature_sampler.next() % uint32_t(n));
      samples.push_back(std::fabs(mesh.principal_curv1[i]));
      samples.push_back(std::fabs(mesh.principal_curv2[i]));
    }
  }
  mesh.need_bounding_sphere();
  float a = 0.05f * mesh.bounding_sphere.radius;
  if (samples.empty()) {
    slot.curvature_scale = a;
    return;
  }
  size_t m = size_t(double(samples.size()) * 0.1);
  std::nth_element(samples.begin(), samples.begin() + ptrdiff_t(m), samples.end());
  float b = 0.01f / samples[m];  // q = 0 gives infinity, so a wins
  slot.curvature_scale = b <= a ? b : a;
}
