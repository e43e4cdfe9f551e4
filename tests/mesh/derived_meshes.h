// Meshes built in code, and helpers shared by the mesh tests.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

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

// The same samples at z = 1 as a range grid of w x h cells (cell y * w + x
// holds vertex y * w + x) and no faces; cells listed in `missing` are -1.
inline TriMesh grid_mesh(int w, int h, const std::vector<int>& missing = {}) {
  TriMesh m = plane_grid(w, h, 1.0f);
  m.faces.clear();
  m.grid_width = w;
  m.grid_height = h;
  for (int cell = 0; cell < w * h; cell++) m.grid.push_back(cell);
  for (int cell : missing) m.grid[cell] = -1;
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

// Collects every progress and error text printed while alive.
class CapturedText {
 public:
  CapturedText() {
    text(0).clear();
    text(1).clear();
    text(2).clear();
    set_progress_hook([](const char* s) { text(0) += s, text(2) += s; });
    set_error_hook([](const char* s) { text(1) += s, text(2) += s; });
  }
  ~CapturedText() {
    set_progress_hook(nullptr);
    set_error_hook(nullptr);
  }
  CapturedText(const CapturedText&) = delete;
  CapturedText& operator=(const CapturedText&) = delete;
  const std::string& str() const { return text(0); }  // the progress text
  const std::string& errors() const { return text(1); }
  const std::string& all() const { return text(2); }  // both, in the order printed
  bool has(const std::string& s) const { return all().find(s) != std::string::npos; }

 private:
  static std::string& text(int channel) {
    static std::string t[3];
    return t[channel];
  }
};
using ProgressCapture = CapturedText;

// The faces as a sorted list of triangles, each rotated to start at its
// smallest corner: equal for the same triangles with the same orientations.
inline std::vector<std::array<int32_t, 3>> oriented_set(const std::vector<Face>& faces) {
  std::vector<std::array<int32_t, 3>> out;
  for (const Face& f : faces) {
    std::array<int32_t, 3> t = {f[0], f[1], f[2]};
    std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
    out.push_back(t);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The faces the mesh's strips unpack to, on a copy that holds only the strips.
inline std::vector<Face> unpacked(const TriMesh& m) {
  TriMesh only_strips;
  only_strips.vertices = m.vertices;
  only_strips.tristrips = m.tristrips;
  only_strips.need_faces();
  return only_strips.faces;
}

// Regular octahedron: 6 vertices, 8 outward-facing triangles, closed.
inline TriMesh octahedron() {
  TriMesh m;
  m.vertices = {point(1, 0, 0),  point(-1, 0, 0), point(0, 1, 0),
                point(0, -1, 0), point(0, 0, 1),  point(0, 0, -1)};
  m.faces = {Face(0, 2, 4), Face(2, 1, 4), Face(1, 3, 4), Face(3, 0, 4),
             Face(2, 0, 5), Face(1, 2, 5), Face(3, 1, 5), Face(0, 3, 5)};
  return m;
}

// Closed fan of `n` triangles around vertex 0, raised above the plane z = 0.
inline TriMesh fan(int n) {
  TriMesh m;
  m.vertices.push_back(point(0, 0, 0.5f));
  for (int i = 0; i < n; i++) {
    const float a = 6.2831853f * i / n;
    m.vertices.push_back(point(std::cos(a), std::sin(a), 0));
  }
  for (int i = 0; i < n; i++) m.faces.push_back(Face(0, 1 + i, 1 + (i + 1) % n));
  return m;
}

}  // namespace test_meshes
