// TriMesh: the one in-memory representation of a mesh or point cloud.
//
// It holds what a file gave (positions, triangles or strips or a range grid,
// colours, confidences, normals) and every quantity derived from them. Derived
// data is computed on demand by the `need_*` operations, each of which does
// nothing when its data is already present; it is thrown away only by `clear`
// and by the operations that remove or renumber vertices or faces. A caller
// that edits `vertices` or `faces` after derived data exists must clear the
// affected arrays itself.
//
// A per-vertex array counts as present exactly when its size equals the
// number of vertices; `bounding_box` and `bounding_sphere` are present when
// their `valid` flag is set. Progress and errors go through the diagnostic
// printer (mesh/diagnostics.h): each `need_*` prints a text ending in "... "
// before its work and "Done.\n" after it.
//
// Invariant once reading has finished: every index in `faces`, `tristrips`
// (other than a length or -1) and `grid` (other than -1) is below the number
// of vertices. The readers reject files that would break it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/Vec.h"

// A triangle: three vertex indices, counter-clockwise seen from the side its
// normal points to. Also the record of `across_edge` (three face indices).
struct Face {
  int32_t v[3] = {0, 0, 0};
  Face() = default;
  Face(int32_t a, int32_t b, int32_t c) : v{a, b, c} {}
  int32_t& operator[](int i) { return v[i]; }
  int32_t operator[](int i) const { return v[i]; }
};
inline bool operator==(const Face& a, const Face& b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// Axis-aligned box. A new box is empty: min at +FLT_MAX, max at -FLT_MAX.
struct BoundingBox {
  point min = point(3.4028235e38f, 3.4028235e38f, 3.4028235e38f);
  point max = point(-3.4028235e38f, -3.4028235e38f, -3.4028235e38f);
  bool valid = false;
  point center() const { return 0.5f * (min + max); }
  point size() const { return max - min; }
};

// Sphere; `radius` is meaningful only when `valid`.
struct BoundingSphere {
  point center;
  float radius = 0.0f;
  bool valid = false;
};

class TriMesh {
 public:
  // The two encodings of the strip stream.
  enum TstripRep { TSTRIP_LENGTH, TSTRIP_TERM };

  // ---- Data read from files -------------------------------------------
  std::vector<point> vertices;
  std::vector<Face> faces;
  // Length-prefixed (L, then L indices, per strip) except transiently while
  // reading or writing a file, when each strip is terminated by -1.
  std::vector<int32_t> tristrips;
  // Range grid, row-major: cell (x, y) at y * grid_width + x, a vertex index or -1.
  std::vector<int32_t> grid;
  int32_t grid_width = -1, grid_height = -1;
  std::vector<Color> colors;
  std::vector<float> confidences;
  std::vector<uint32_t> flags;
  uint32_t flag_current = 0;

  // ---- Derived data ----------------------------------------------------
  std::vector<point> normals;
  std::vector<point> principal_dir1, principal_dir2;
  std::vector<float> principal_curv1, principal_curv2;
  // Per vertex: the curvature derivative tensor (four values).
  struct Dcurv {
    float v[4] = {0, 0, 0, 0};
    float& operator[](int i) { return v[i]; }
    float operator[](int i) const { return v[i]; }
  };
  std::vector<Dcurv> dcurv;
  // Per face: the area share of corners 0, 1, 2.
  std::vector<point> corner_areas;
  std::vector<float> point_areas;
  BoundingBox bounding_box;
  BoundingSphere bounding_sphere;
  std::vector<std::vector<int32_t>> neighbors;
  std::vector<std::vector<int32_t>> vertex_faces;
  std::vector<Face> across_edge;

  // ---- Record ----------------------------------------------------------
  // Empties every array, sets grid_width = grid_height = -1, flag_current = 0
  // and both bounding records invalid: indistinguishable from a new mesh.
  void clear();
  // 0.5 * ((p1 - p0) x (p2 - p0)) for face f's corners; builds `faces` first if needed.
  point trinorm(int f);

  // ---- Files (mesh/read_mesh.cpp, mesh/write_mesh.cpp) ------------------
  // Reads `filename` ("-" is standard input) into a new mesh; null on failure
  // after printing why.
  static TriMesh* read_mesh(const std::string& filename);
  // Reads a file into this (empty) mesh; false on failure after printing why.
  bool read_into(const std::string& filename);
  // Writes the mesh; the name's ending and prefixes choose the format.
  bool write_mesh(const std::string& filename);

  // ---- Strips and grids (mesh/strips.cpp, mesh/grid.cpp) ----------------
  // Builds `faces` from `tristrips` when present, else from `grid`; nothing if
  // `faces` is non-empty.
  void need_faces();
  void need_tristrips();
  void convert_strips(TstripRep target);
  void unpack_tristrips();
  void triangulate_grid();
  void remove_slivers();
  float typical_edge_length();
  // Removes every face whose entry in `to_remove` is true.
  void remove_faces(const std::vector<bool>& to_remove);

  // ---- Adjacency (mesh/adjacency.cpp) ----------------------------------
  void need_neighbors();
  void need_vertex_faces();
  void need_across_edge();
  bool is_boundary(int v);

  // ---- Normals, bounds, curvature (mesh/normals.cpp, bounds.cpp, curvature.cpp)
  void need_normals();
  void need_bounding_box();
  void need_bounding_sphere();
  void need_point_areas();
  void need_curvatures();
  void need_dcurv();

  // ---- Vertex removal and renumbering (mesh/remove.cpp) -----------------
  void remove_vertices(const std::vector<bool>& to_remove);
  void remove_unused_vertices();
  void remap_verts(const std::vector<int>& remap_table);
  void reorder_verts();
};
