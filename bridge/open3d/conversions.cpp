#include "bridge/open3d/conversions.h"

namespace o3g = open3d::geometry;

o3g::PointCloud to_cloud(const MatchCloud& cloud) {
  o3g::PointCloud out;
  out.points_.reserve(cloud.points.size());
  for (const point& p : cloud.points) out.points_.emplace_back(p.x, p.y, p.z);
  out.normals_.reserve(cloud.normals.size());
  for (const point& n : cloud.normals) out.normals_.emplace_back(n.x, n.y, n.z);
  out.colors_.reserve(cloud.colors.size());
  for (const Color& c : cloud.colors) out.colors_.emplace_back(c.r, c.g, c.b);
  return out;
}

void to_array(const Eigen::Matrix4d& m, double out[16]) {
  for (int c = 0; c < 4; c++)
    for (int r = 0; r < 4; r++) out[4 * c + r] = m(r, c);
}

Eigen::Matrix4d from_array(const double in[16]) {
  Eigen::Matrix4d m;
  for (int c = 0; c < 4; c++)
    for (int r = 0; r < 4; r++) m(r, c) = in[4 * c + r];
  return m;
}

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
