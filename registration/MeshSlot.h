// MeshSlot: one loaded mesh with its pose, file names, colour-mode data,
// ridge/valley marks and registration data. The alignment engine owns two of
// them (mesh 1 fixed, mesh 2 moving); the application edits the colour mode
// and tolerance as live variables of its panel. A slot is a plain value: a
// copy is deep and independent of its source.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "geometry/PoseMatrix.h"
#include "geometry/pose_file.h"
#include "mesh/TriMesh.h"
#include "registration/cdf_walk.h"
#include "registration/color_record.h"

class KDtree;

// The slot's mesh: owned, and copied deeply with the slot.
struct SlotMesh : std::unique_ptr<TriMesh> {
  using std::unique_ptr<TriMesh>::unique_ptr;
  using std::unique_ptr<TriMesh>::operator=;
  SlotMesh() = default;
  SlotMesh(const SlotMesh& other)
      : std::unique_ptr<TriMesh>(other ? std::make_unique<TriMesh>(*other) : nullptr) {}
  SlotMesh& operator=(const SlotMesh& other) {
    if (this != &other) reset(other ? new TriMesh(*other) : nullptr);
    return *this;
  }
  SlotMesh(SlotMesh&&) = default;
  SlotMesh& operator=(SlotMesh&&) = default;
};

// The slot's k-d tree. A copy starts with no tree: the tree belongs to the
// vertex array it was built over, and the next alignment builds one for the
// copy. Moving hands the tree over.
// (Defined where KDtree is complete.)
struct SlotTree : std::unique_ptr<KDtree> {
  using std::unique_ptr<KDtree>::operator=;
  SlotTree();
  SlotTree(const SlotTree& other);
  SlotTree& operator=(const SlotTree& other);
  SlotTree(SlotTree&& other) noexcept;
  SlotTree& operator=(SlotTree&& other) noexcept;
  ~SlotTree();
};

// 16 x 16 x 16 occupancy of a mesh's local vertices, for the overlap test.
// It depends on the vertices only, so it is built once per mesh and kept
// like the k-d tree; `vertices` and `vertex_count` name the array it was
// built over, and a grid built over any other array counts as missing.
struct OccupancyGrid {
  point min, max;                    // box of the local vertices
  float scale = 0.0f;                // 16 / largest box extent; 0 for a box of no extent
  unsigned char cells[16 * 16 * 16]; // 1 where at least one vertex falls
  const point* vertices = nullptr;   // the array it was built over; null: not built
  size_t vertex_count = 0;
};

struct MeshSlot {
  int32_t index = 0;                        // 0 or 1, set when a mesh is read into the slot
  SlotMesh mesh;                            // null = slot empty
  PoseMatrix pose;                          // mesh frame -> common (world) frame
  SlotTree kdtree;                          // over the mesh's local vertices; built at load (else by the first alignment)
  OccupancyGrid grid;                       // of the mesh's local vertices; built by the first overlap test
  std::vector<float> weights;               // per vertex: 1 in the overlap with the other mesh, else 0
  std::vector<float> cdf;                   // per vertex: cumulative sampling distribution, last entry 1.0
  std::vector<int32_t> cdf_guide;           // lookup hint into cdf, rebuilt with it (a stale one only costs speed)
  SampleFilter sample_filters[2];           // during an alignment: feature marks, significant flags (registration/cdf_walk.h)
  std::string file_name;                    // path the mesh was read from
  std::string xf_name;                      // file_name up to its last "." followed by "xf"
  PoseFileCheck pose_check;                 // how xf_name read when `pose` was last taken from it
  std::string stored_name;                  // mesh path recorded by a stored trial
  int32_t color_mode = 1;                   // 0 "Color blanco", 1 "Color real", 2 "Color Significativo"
  float color_tolerance = 5.0f;             // "tolerancia" slider, 0 to 20
  float color_cache_key = -1.0f;            // whole-number tolerance of the last significant-colour build
  std::vector<Color> significant_colors;    // per vertex
  std::vector<int32_t> significant_flags;   // per vertex, 0/1: vertex of significant colour
  std::vector<point> color_dirs;            // per vertex: unit colour-difference direction
  std::vector<ColorRecord> color_records;   // per vertex during a colour alignment: color_dirs and colours side by side; else empty
  std::vector<bool> feature_marks;          // per vertex: on a ridge or valley line (may be empty)
  std::vector<uint8_t> boundary;            // per vertex during an alignment: 1 on a mesh boundary; else empty
  bool loaded = false;                      // a mesh was read into the slot
  float curvature_scale = 0.0f;             // set at load, used by the ridge lines

  // Deletes the mesh and the k-d tree, empties every vector and string, sets
  // the pose to identity and every colour field to its initial value; the
  // index stays.
  void clear();
};
