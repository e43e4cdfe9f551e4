// Meshes built in code for the tests of derived mesh data.
#pragma once

#include <cmath>
#include <map>
#include <string>
#include <utility>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"

namespace test_meshes {

// A flat nx x ny grid of unit-spaced vertices in the plane z = `z`, two
// counter-clockwise (seen from +z) triangles per cell.
inline TriMesh plane_grid(int nx, int ny, float z = 0.0f) {
  TriMesh m;
  for (int y = 0; y < ny; y++)
    for (int x = 0; x < nx; x++) m.vertices.push_back(point(float(x), float(y), z));
  for (int y = 0; y + 1 < ny; y++) {
    for (int x = 0; x + 1 < nx; x++) {
      int i = y * nx + x;
      m.faces.push_back(Face(i, i + 1, i + nx + 1));
      m.faces.push_back(Face(i, i + nx + 1, i + nx));
    }
  }
  return m;
}

// Icosahedron subdivided `levels` times and projected onto the sphere of
// `radius` about the origin; faces counter-clockwise seen from outside.
inline TriMesh icosphere(int levels, float radius) {
  TriMesh m;
  const float g = 0.5f * (1.0f + std::sqrt(5.0f));
  const float raw[12][3] = {{-1, g, 0}, {1, g, 0}, {-1, -g, 0}, {1, -g, 0},
                            {0, -1, g}, {0, 1, g}, {0, -1, -g}, {0, 1, -g},
                            {g, 0, -1}, {g, 0, 1}, {-g, 0, -1}, {-g, 0, 1}};
  for (const auto& r : raw) m.vertices.push_back(point(r[0], r[1], r[2]));
  const int tris[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                           {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                           {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                           {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
  for (const auto& t : tris) m.faces.push_back(Face(t[0], t[1], t[2]));
  for (int l = 0; l < levels; l++) {
    std::map<std::pair<int, int>, int> midpoints;
    auto midpoint = [&](int a, int b) {
      std::pair<int, int> key(std::min(a, b), std::max(a, b));
      auto it = midpoints.find(key);
      if (it != midpoints.end()) return it->second;
      int idx = int(m.vertices.size());
      m.vertices.push_back(0.5f * (m.vertices[a] + m.vertices[b]));
      midpoints[key] = idx;
      return idx;
    };
    std::vector<Face> finer;
    for (const Face& f : m.faces) {
      int a = midpoint(f[0], f[1]), b = midpoint(f[1], f[2]), c = midpoint(f[2], f[0]);
      finer.push_back(Face(f[0], a, c));
      finer.push_back(Face(f[1], b, a));
      finer.push_back(Face(f[2], c, b));
      finer.push_back(Face(a, b, c));
    }
    m.faces.swap(finer);
  }
  for (point& p : m.vertices) p = radius / len(p) * p;
  return m;
}

// Open cylinder of `radius` about the z axis: `around` vertices per ring,
// `rings` rings `spacing` apart; faces counter-clockwise seen from outside.
inline TriMesh cylinder(int around, int rings, float radius, float spacing) {
  TriMesh m;
  const float kTwoPi = 6.2831853f;
  for (int r = 0; r < rings; r++) {
    for (int a = 0; a < around; a++) {
      float phi = kTwoPi * float(a) / float(around);
      m.vertices.push_back(point(radius * std::cos(phi), radius * std::sin(phi), r * spacing));
    }
  }
  for (int r = 0; r + 1 < rings; r++) {
    for (int a = 0; a < around; a++) {
      int i = r * around + a, j = r * around + (a + 1) % around;
      m.faces.push_back(Face(i, j, j + around));
      m.faces.push_back(Face(i, j + around, i + around));
    }
  }
  return m;
}

// Collects the progress text printed while it is alive.
class ProgressCapture {
 public:
  ProgressCapture() {
    text().clear();
    set_progress_hook(&ProgressCapture::append);
  }
  ~ProgressCapture() { set_progress_hook(nullptr); }
  const std::string& str() const { return text(); }

 private:
  static std::string& text() {
    static std::string t;
    return t;
  }
  static void append(const char* s) { text() += s; }
};

}  // namespace test_meshes
