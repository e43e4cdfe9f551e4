// MeshSlot: one loaded mesh with its pose, file names, appearance switches,
// colour-mode data, ridge/valley marks and registration data. The alignment
// engine owns two of them (mesh 1 fixed, mesh 2 moving); the application
// reads and edits the appearance fields as live variables of its panel.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "geometry/PoseMatrix.h"
#include "mesh/TriMesh.h"

class KDtree;

struct MeshSlot {
  int32_t index = 0;                        // 0 or 1, set when a mesh is read into the slot
  std::unique_ptr<TriMesh> mesh;            // null = slot empty
  PoseMatrix pose;                          // mesh frame -> common (world) frame
  std::unique_ptr<KDtree> kdtree;           // over the mesh's local vertices; built by the first alignment
  std::vector<float> weights;               // per vertex: 1 in the overlap with the other mesh, else 0
  std::vector<float> cdf;                   // per vertex: cumulative sampling distribution, last entry 1.0
  std::string file_name;                    // path the mesh was read from
  std::string xf_name;                      // file_name up to its last "." followed by "xf"
  std::string stored_name;                  // mesh path recorded by a stored trial
  int32_t color_mode = 1;                   // 0 "Color blanco", 1 "Color real", 2 "Color Significativo"
  float color_tolerance = 5.0f;             // "tolerancia" slider, 0 to 20
  float color_cache_key = -1.0f;            // whole-number tolerance of the last significant-colour build
  std::vector<Color> significant_colors;    // per vertex
  std::vector<int32_t> significant_flags;   // per vertex, 0/1: vertex of significant colour
  std::vector<point> color_dirs;            // per vertex: unit colour-difference direction
  std::vector<bool> feature_marks;          // per vertex: on a ridge or valley line (may be empty)
  bool loaded = false;                      // a mesh was read into the slot
  int32_t brightness = 1;                   // "Brillo"
  int32_t lighting = 1;                     // "Luz"
  int32_t two_sided = 1;                    // "Ver ambas caras"
  int32_t wireframe = 0;                    // "Ver mallado"
  float curvature_scale = 0.0f;             // set at load, used by the ridge lines

  MeshSlot();
  ~MeshSlot();
  // Deep copy: the mesh member by member, pose, names, colour data, per-vertex
  // arrays and switches. The copy never shares the source's k-d tree; it has none.
  MeshSlot(const MeshSlot& other);
  MeshSlot& operator=(const MeshSlot& other);

  // Deletes the mesh and the k-d tree, empties every vector and string, sets
  // the pose to identity and every appearance and colour field to its initial value.
  void clear();
};
