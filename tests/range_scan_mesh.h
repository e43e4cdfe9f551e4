// A generated range scan as the loader would hold it, for the tests that
// feed scans from the scan generator to the engine.
#pragma once

#include <memory>

#include "mesh/TriMesh.h"
#include "tools/scan_generator.h"

// The scan's range grid, triangulated, with its byte colours when `colors`
// (vertices stay in the scanner frame; the pose is the caller's).
inline std::unique_ptr<TriMesh> range_scan_mesh(const RangeScan& scan, bool colors) {
  auto mesh = std::make_unique<TriMesh>();
  mesh->vertices = scan.vertices;
  for (size_t i = 0; colors && i < scan.vertices.size(); i++)
    mesh->colors.push_back(
        Color::from_bytes(scan.colors[3 * i], scan.colors[3 * i + 1], scan.colors[3 * i + 2]));
  mesh->grid = scan.grid;
  mesh->grid_width = scan.width;
  mesh->grid_height = scan.height;
  mesh->need_faces();
  return mesh;
}
