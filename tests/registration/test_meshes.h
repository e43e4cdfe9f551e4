// Small meshes built in code for the registration tests: height fields
// z = f(x, y) over a rectangle, triangulated as a regular grid, with a
// blocky colour pattern so that significant colours and colour directions exist.
#pragma once

#include "registration/load_scan.h"

#include <cmath>
#include <memory>

#include "mesh/TriMesh.h"
#include "registration/Aligner.h"
#include "registration/icp_steps.h"
#include "registration/curvature_scale.h"
#include "spatial/KDtree.h"

namespace testmesh {

// The wavy surface both scans of a pair sample.
inline float wave(float x, float y) { return 0.3f * std::sin(2.0f * x + 0.5f) * std::cos(3.0f * y); }

// Two colours in 0.25 x 0.25 blocks of the (x, y) plane.
inline Color block_color(float x, float y) {
  int bx = int(std::floor(x * 4.0f)), by = int(std::floor(y * 4.0f));
  return ((bx + by) & 1) ? Color(0.9f, 0.2f, 0.1f) : Color(0.1f, 0.3f, 0.8f);
}

// nx x ny vertices over [x0, x1] x [y0, y1], row by row, two triangles per
// cell, counter-clockwise seen from +z, with normals, neighbours and colours.
inline std::unique_ptr<TriMesh> height_field(int nx, int ny, float x0, float y0, float x1,
                                             float y1, bool colored = true) {
  auto mesh = std::make_unique<TriMesh>();
  for (int j = 0; j < ny; j++) {
    for (int i = 0; i < nx; i++) {
      float x = x0 + (x1 - x0) * float(i) / float(nx - 1);
      float y = y0 + (y1 - y0) * float(j) / float(ny - 1);
      mesh->vertices.push_back(point(x, y, wave(x, y)));
      if (colored) mesh->colors.push_back(block_color(x, y));
    }
  }
  for (int j = 0; j + 1 < ny; j++) {
    for (int i = 0; i + 1 < nx; i++) {
      int v = j * nx + i;
      mesh->faces.push_back(Face(v, v + 1, v + nx + 1));
      mesh->faces.push_back(Face(v, v + nx + 1, v + nx));
    }
  }
  mesh->need_normals();
  mesh->need_neighbors();
  return mesh;
}

// Puts a mesh into a slot with the given pose.
inline void fill_slot(MeshSlot& slot, std::unique_ptr<TriMesh> mesh,
                      const PoseMatrix& pose = PoseMatrix()) {
  slot.clear();
  slot.mesh = std::move(mesh);
  slot.pose = pose;
  slot.loaded = true;
}

// The derived data the program computes at load time, in its order, and the
// slot's curvature scale.
inline void derive_like_load(MeshSlot& slot) { derive_loaded_scan(slot); }

// Two copies of one n x n height field over [-1, 1]^2, mesh 2 placed by
// `pose2`, k-d trees and vertex-face lists built, radius 1, uniform cdfs:
// what a single step sees.
inline void tree_pair(Aligner& a, int n, bool colored, const PoseMatrix& pose2 = PoseMatrix()) {
  fill_slot(*a.slots[0], height_field(n, n, -1, -1, 1, 1, colored));
  fill_slot(*a.slots[1], height_field(n, n, -1, -1, 1, 1, colored), pose2);
  for (auto& s : a.slots) {
    s->kdtree = std::make_unique<KDtree>(s->mesh->vertices);
    s->mesh->need_vertex_faces();
  }
  a.params.max_dist = 1.0f;
  IcpSteps::reset_cdfs(a);
}

}  // namespace testmesh
