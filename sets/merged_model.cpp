#include "sets/merged_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

// Appends the float's bits little-endian, whatever the host's order.
void put_float(std::string& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  for (int i = 0; i < 4; i++) out.push_back(char((bits >> (8 * i)) & 0xff));
}

unsigned char to_byte(float c) {
  return static_cast<unsigned char>(std::lround(std::min(1.0f, std::max(0.0f, c)) * 255.0f));
}

// Thins `cloud` to one point per cube of edge `voxel` (see merge_scans).
TriMesh thin(const TriMesh& cloud, const point& origin, double voxel) {
  const size_t n = cloud.vertices.size();
  std::vector<std::array<int64_t, 3>> cube(n);
  for (size_t i = 0; i < n; i++)
    for (int a = 0; a < 3; a++)
      cube[i][size_t(a)] = int64_t(std::floor((double(cloud.vertices[i][a]) - origin[a]) / voxel));
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t(0));
  auto key = [&](size_t i) { return std::array<int64_t, 3>{cube[i][2], cube[i][1], cube[i][0]}; };
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return key(x) < key(y); });
  TriMesh out;
  for (size_t begin = 0; begin < n;) {
    size_t end = begin;
    double p[3] = {0, 0, 0}, m[3] = {0, 0, 0}, c[3] = {0, 0, 0};
    while (end < n && key(order[end]) == key(order[begin])) {
      const size_t i = order[end++];
      for (int a = 0; a < 3; a++) p[a] += cloud.vertices[i][a], m[a] += cloud.normals[i][a];
      c[0] += cloud.colors[i].r, c[1] += cloud.colors[i].g, c[2] += cloud.colors[i].b;
    }
    const double count = double(end - begin);
    const double length = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
    out.vertices.push_back(point(float(p[0] / count), float(p[1] / count), float(p[2] / count)));
    out.normals.push_back(length > 1e-6 ? point(float(m[0] / length), float(m[1] / length),
                                                float(m[2] / length))
                                        : cloud.normals[order[begin]]);
    out.colors.push_back(Color(float(c[0] / count), float(c[1] / count), float(c[2] / count)));
    begin = end;
  }
  return out;
}

}  // namespace

bool merge_scans(const std::vector<TriMesh*>& scans, const std::vector<PoseMatrix>& poses,
                 double voxel_fraction, TriMesh& merged, std::string& why) {
  if (!std::isfinite(voxel_fraction) || voxel_fraction < 0.0 || voxel_fraction > 1.0) {
    why = "the voxel fraction must be above 0 and at most 1";
    return false;
  }
  TriMesh cloud;
  for (size_t s = 0; s < scans.size(); s++) {
    TriMesh& mesh = *scans[s];
    mesh.need_normals();
    const bool colored = mesh.colors.size() == mesh.vertices.size();
    for (size_t i = 0; i < mesh.vertices.size(); i++) {
      const point& v = mesh.vertices[i];
      if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) continue;
      cloud.vertices.push_back(transform_point(poses[s], v));
      point n = transform_direction(poses[s], mesh.normals[i]);
      cloud.normals.push_back(n);
      cloud.colors.push_back(colored ? mesh.colors[i] : Color(1.0f, 1.0f, 1.0f));
    }
  }
  if (voxel_fraction == 0.0 || cloud.vertices.empty()) {
    merged = std::move(cloud);
    return true;
  }
  cloud.need_bounding_box();
  const point size = cloud.bounding_box.max - cloud.bounding_box.min;
  const double diagonal = std::sqrt(double(size.x) * size.x + double(size.y) * size.y +
                                    double(size.z) * size.z);
  const double voxel = voxel_fraction * diagonal;
  const double largest = std::max({double(size.x), double(size.y), double(size.z)});
  if (!(voxel > 0.0) || largest / voxel > kMaxVoxelsPerAxis) {
    why = "the voxel fraction is too small for this set (over a million cubes along an axis)";
    return false;
  }
  merged = thin(cloud, cloud.bounding_box.min, voxel);
  return true;
}

std::string merged_ply_bytes(const TriMesh& cloud) {
  std::string out =
      "ply\nformat binary_little_endian 1.0\nelement vertex " +
      std::to_string(cloud.vertices.size()) +
      "\nproperty float x\nproperty float y\nproperty float z\nproperty float nx\n"
      "property float ny\nproperty float nz\nproperty uchar red\nproperty uchar green\n"
      "property uchar blue\nend_header\n";
  out.reserve(out.size() + cloud.vertices.size() * 27);
  for (size_t i = 0; i < cloud.vertices.size(); i++) {
    for (int a = 0; a < 3; a++) put_float(out, cloud.vertices[i][a]);
    for (int a = 0; a < 3; a++) put_float(out, cloud.normals[i][a]);
    const Color& c = cloud.colors[i];
    out.push_back(char(to_byte(c.r)));
    out.push_back(char(to_byte(c.g)));
    out.push_back(char(to_byte(c.b)));
  }
  return out;
}
