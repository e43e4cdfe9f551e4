// Small meshes built in code and helpers shared by the connectivity tests
// (adjacency, strips, grids, removal).
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"

namespace fixtures {

// Collects every progress and error text while alive.
class CapturedText {
 public:
  CapturedText() {
    progress().clear();
    errors().clear();
    set_progress_hook([](const char* s) { progress() += s; });
    set_error_hook([](const char* s) { errors() += s; });
  }
  ~CapturedText() {
    set_progress_hook(nullptr);
    set_error_hook(nullptr);
  }
  CapturedText(const CapturedText&) = delete;
  CapturedText& operator=(const CapturedText&) = delete;

  static std::string& progress() {
    static std::string text;
    return text;
  }
  static std::string& errors() {
    static std::string text;
    return text;
  }
};

// A triangle as a rotation with its smallest corner first: equal for the same
// triangle with the same orientation, different for the flipped one.
inline Face canonical(const Face& f) {
  int first = 0;
  if (f[1] < f[first]) first = 1;
  if (f[2] < f[first]) first = 2;
  return Face(f[first], f[(first + 1) % 3], f[(first + 2) % 3]);
}

// The faces as a sorted list of canonical triangles.
inline std::vector<Face> oriented_set(const std::vector<Face>& faces) {
  std::vector<Face> out;
  for (const Face& f : faces) out.push_back(canonical(f));
  std::sort(out.begin(), out.end(), [](const Face& a, const Face& b) {
    return std::lexicographical_compare(a.v, a.v + 3, b.v, b.v + 3);
  });
  return out;
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

// Closed fan of `n` triangles around vertex 0 in the plane z = 0.
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

// A range grid of w x h unit-spaced samples at z = 1 (vertex of cell (x, y)
// is y * w + x); cells listed in `missing` are -1.
inline TriMesh grid_mesh(int w, int h, const std::vector<int>& missing = {}) {
  TriMesh m;
  m.grid_width = w;
  m.grid_height = h;
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) {
      m.vertices.push_back(point(float(x), float(y), 1.0f));
      m.grid.push_back(y * w + x);
    }
  }
  for (int cell : missing) m.grid[cell] = -1;
  return m;
}

}  // namespace fixtures
