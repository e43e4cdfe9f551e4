#include "registration/thin_cloud.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Cube coordinates are kept within +-2^20 so three fit one 64-bit key; a
// point further out (relative to the cube edge) is left out.
const int64_t kCubeLimit = int64_t(1) << 20;

bool cube_coordinates(const point& p, const point& origin, double edge, int64_t c[3]) {
  const double v[3] = {p.x - double(origin.x), p.y - double(origin.y), p.z - double(origin.z)};
  for (int k = 0; k < 3; k++) {
    double q = std::floor(v[k] / edge);
    if (!(std::fabs(q) < double(kCubeLimit))) return false;
    c[k] = int64_t(q);
  }
  return true;
}

// Neighbours of an edge cube may spill into the next field; the distance
// test behind every lookup makes such a collision harmless.
int64_t pack(int64_t x, int64_t y, int64_t z) {
  const uint64_t ux = uint64_t(x + kCubeLimit), uy = uint64_t(y + kCubeLimit),
                 uz = uint64_t(z + kCubeLimit);
  return int64_t((uz << 42) ^ (uy << 21) ^ ux);
}

}  // namespace

MatchCloud thin_scan(const TriMesh& mesh, double voxel, bool with_colors) {
  MatchCloud cloud;
  if (!(voxel > 0.0) || !std::isfinite(voxel)) return cloud;
  with_colors = with_colors && mesh.colors.size() == mesh.vertices.size();
  // Each finite vertex's cube key, then the vertices sorted by key: every
  // run of one key is one voxel.
  std::vector<std::pair<int64_t, int32_t>> keyed;
  keyed.reserve(mesh.vertices.size());
  const point origin(0, 0, 0);
  for (size_t i = 0; i < mesh.vertices.size(); i++) {
    int64_t c[3];
    if (!is_finite(mesh.vertices[i]) || !cube_coordinates(mesh.vertices[i], origin, voxel, c))
      continue;
    keyed.emplace_back(pack(c[0], c[1], c[2]), int32_t(i));
  }
  std::sort(keyed.begin(), keyed.end());
  for (size_t begin = 0, end; begin < keyed.size(); begin = end) {
    double sum[3] = {0, 0, 0}, normal[3] = {0, 0, 0}, color[3] = {0, 0, 0};
    for (end = begin; end < keyed.size() && keyed[end].first == keyed[begin].first; end++) {
      const size_t i = size_t(keyed[end].second);
      const point& p = mesh.vertices[i];
      const point& n = mesh.normals[i];
      sum[0] += p.x, sum[1] += p.y, sum[2] += p.z;
      normal[0] += n.x, normal[1] += n.y, normal[2] += n.z;
      if (with_colors)
        for (int k = 0; k < 3; k++) color[k] += mesh.colors[i][k];
    }
    const double count = double(end - begin);
    const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] +
                                     normal[2] * normal[2]) / count;
    if (!(length > 1e-6)) continue;
    const double scale = 1.0 / (length * count);
    cloud.points.emplace_back(float(sum[0] / count), float(sum[1] / count), float(sum[2] / count));
    cloud.normals.emplace_back(float(normal[0] * scale), float(normal[1] * scale),
                               float(normal[2] * scale));
    if (with_colors)
      cloud.colors.emplace_back(float(color[0] / count), float(color[1] / count),
                                float(color[2] / count));
  }
  return cloud;
}

PointGrid::PointGrid(const std::vector<point>& points, double cell)
    : points_(points), cell_(cell), origin_(0, 0, 0) {
  if (!points.empty()) origin_ = points[0];
  for (size_t i = 0; i < points.size(); i++) {
    int64_t c[3];
    if (cube_of(points[i], c)) cubes_[key(c[0], c[1], c[2])].push_back(int32_t(i));
  }
}

int64_t PointGrid::key(int64_t x, int64_t y, int64_t z) const { return pack(x, y, z); }

bool PointGrid::cube_of(const point& p, int64_t c[3]) const {
  if (!(cell_ > 0.0) || !is_finite(p)) return false;
  return cube_coordinates(p, origin_, cell_, c);
}

int PointGrid::nearest(const point& p, double radius, float* distance2) const {
  int best = -1;
  float best2 = std::numeric_limits<float>::infinity();
  for_each_within(p, radius, [&](int32_t i) {
    float d2 = dist2(p, points_[size_t(i)]);
    if (d2 < best2 || (d2 == best2 && i < best)) best2 = d2, best = i;
  });
  if (distance2) *distance2 = best2;
  return best;
}
