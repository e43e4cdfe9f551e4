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
#include "mesh/AdjacencyTable.h"

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
  AdjacencyTable neighbors;     // per vertex: the vertices sharing an edge with it
  AdjacencyTable vertex_faces;  // per vertex: the faces using it
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
  // "-" reads standard input, "stl:-..." standard input as binary STL; a name
  // ending ".stl" is binary STL; names ending ".pcd", ".xyz", ".xyzn",
  // ".xyzrgb" and ".pts" are point clouds, checked and then read by the
  // point-cloud library (mesh/point_cloud_library.h; a PCD of more than one
  // row is triangulated as a range grid); any other format is known by its
  // first bytes (PLY ascii/binary, OBJ, OFF, SM, ray, 3DS, VIVID). Every successful read
  // then moves an offset index range k .. k+n-1 to 0 .. n-1, fails if a face,
  // strip or grid index still names no vertex, and drops vertices with a NaN
  // or infinite coordinate together with the faces that use them (grid cells
  // naming them become empty; strips using them fail the read). A file that
  // yields no vertices fails. The stream is closed, standard input included.
  bool read_into(const std::string& filename);
  // Writes the mesh; the name's ending (.ply .ray .obj .off .sm .stl .cpp)
  // and prefixes ("asc:", "be:", "norm:", "nogrid:", "cflt:", ...) choose the
  // format, "-" is standard output. False after printing why for an empty
  // name, a mesh without vertices, or a failed open or write. The mesh keeps
  // its data (after a failed write too); only what the format needs is added
  // on demand: faces from strips, and normals (need_normals, which turns a
  // range grid into faces).
  bool write_mesh(const std::string& filename);

  // ---- Strips and grids (mesh/strips.cpp, mesh/grid.cpp, mesh/remove.cpp) --
  // Connectivity operations never read outside `vertices`: a face, strip or
  // grid entry naming no vertex is skipped (adjacency, strips, slivers, edge
  // samples) or dropped (unpacking, renumbering), as each operation says.

  // Builds `faces` from `tristrips` when present, else from `grid`; nothing if
  // `faces` is non-empty or there is neither.
  void need_faces();
  // Builds length-prefixed `tristrips` from `faces` (first triangulating a
  // grid-only mesh) by walking `across_edge`; nothing if strips exist or
  // there are no faces. Every face with valid corners lies in exactly one
  // strip with its orientation; faces naming no vertex join no strip.
  void need_tristrips();
  // Switches `tristrips` between the length-prefixed form (TSTRIP_LENGTH: L,
  // then L indices, per strip) and the terminated form (TSTRIP_TERM: each
  // strip's indices, then -1). Keeps the stream's length; nothing when the
  // stream is empty or already in the target form (told by its last element
  // being -1 or not). A one-element stream becomes {-1}; a negative length
  // word counts as an empty strip.
  void convert_strips(TstripRep target);
  // Turns `tristrips` into `faces` (only when faces are empty): strip
  // [a b c d ...] gives (a,b,c), (c,b,d), (c,d,e), ... Lengths running past
  // the stream's end are cut to it; triangles naming no vertex are dropped.
  // A stream still in terminated form is first made length-prefixed.
  void unpack_tristrips();
  // Replaces `faces` by the triangulation of `grid`: cells that are negative,
  // out of range or at the origin become -1 first; a full square is split
  // along its shorter diagonal (ul-lr on ties), a square with three samples
  // gives one triangle. Then removes slivers, which discards the grid once
  // it has yielded faces. A grid smaller than grid_width x grid_height
  // yields no faces.
  void triangulate_grid();
  // Removes triangles with an edge of at least 4 x typical_edge_length whose
  // needle measure (about 1 for a needle, 0.25 equilateral) is >= 0.85.
  void remove_slivers();
  // Median edge length over the three edges of min(faces/2, 333) faces (at
  // least one) drawn by a process-wide generator that persists between calls;
  // 0 without faces.
  float typical_edge_length();
  // Removes every face whose entry in `to_remove` is true (a short bitmap
  // keeps the rest), after building faces if needed; nothing without faces.
  // Discards strips, grid, adjacency and areas even when nothing is marked
  // (then prints "None removed." and keeps the faces). When something was
  // removed: rebuilds strips if there were any, discards faces derived for
  // the call only if rebuilt strips now carry the connectivity, and
  // invalidates both bounding volumes.
  void remove_faces(const std::vector<bool>& to_remove);

  // ---- Adjacency (mesh/adjacency.cpp) ----------------------------------
  // Each builds its table only when it is empty and the mesh has faces (a
  // point set keeps them empty and prints nothing). Faces naming no vertex
  // are left out of all three.
  // neighbors[v]: the vertices sharing an edge with v, no duplicates, in
  // order of first discovery (the first face of v gives its two other
  // corners in cyclic order after v).
  void need_neighbors();
  // vertex_faces[v]: the faces using v, increasing, once per corner.
  void need_vertex_faces();
  // across_edge[f][j]: the face across the edge opposite corner j, or -1.
  // Only a face running along the edge the other way is linked, so faces of
  // inconsistent orientation count as not adjacent.
  void need_across_edge();
  // True when v's neighbour count differs from its face count (an open
  // boundary vertex has one neighbour more). False for a vertex of a point
  // set and for an index naming no vertex.
  bool is_boundary(int v);

  // ---- Normals, bounds, curvature (mesh/normals.cpp, bounds.cpp, curvature.cpp)
  // Fills `normals` with unit vectors unless it already has one per vertex
  // (normals read from a file stay). From `tristrips` when present (walked in
  // place; `faces` is not built), else from `faces` (after need_faces): each
  // face adds its edge cross product weighted at each corner by 1 / (product
  // of the squared lengths of the two edges meeting there). A face whose
  // weights are not finite (a zero-length edge, duplicate or repeated corner,
  // NaN or overflowing coordinates) is skipped: it adds nothing anywhere.
  // Without faces (a point cloud): the normal of a plane fitted to the 6
  // nearest points, oriented to z >= 0; a vertex with fewer than 3 found
  // points prints "Warning: not enough points for vertex %d\n" and gets
  // (0, 0, 1). A zero or NaN sum (isolated vertex, all faces skipped, NaN
  // position in a cloud) becomes (1, 0, 0), so every normal is a finite unit.
  void need_normals();
  // Axis-aligned box of the vertices with finite coordinates (NaN or
  // infinite ones are left out). Nothing (and no message) when there is no
  // such vertex or the box is already valid.
  void need_bounding_box();
  // Exact smallest sphere enclosing the vertices with finite coordinates
  // (mesh/min_sphere.h). One vertex or coincident ones: that point, radius 0.
  // Nothing (and no message) when there is no finite vertex or the sphere is
  // already valid.
  void need_bounding_sphere();
  // Per-face `corner_areas` (each corner's share of the face area, mixed
  // Voronoi style) and per-vertex `point_areas` (sum over its corners), unless
  // `point_areas` already has one entry per vertex and `corner_areas` one per
  // face (a table left from other faces is rebuilt). A face whose shares are
  // not finite (coincident corners, NaN coordinates) gets (0, 0, 0); a vertex
  // in no face, or only in such faces, gets area 0.
  void need_point_areas();
  // Principal curvatures and directions, unless `principal_curv1` already has
  // one entry per vertex; builds faces, normals and point areas first. At a
  // vertex of a proper face, (principal_dir1, principal_dir2, normal) is a
  // right-handed orthonormal frame and |principal_curv1| >= |principal_curv2|
  // (a tie keeps the first). Faces without area (see need_point_areas) or
  // whose least-squares system is not positive definite are skipped, and a
  // vertex with area 0 receives nothing: such vertices keep curvature 0. A
  // vertex in no face has its frame built from (1, 0, 0); with the normal
  // (1, 0, 0) that need_normals gives it, both directions are zero vectors.
  // Without faces every curvature is 0. Isolated vertices, duplicate points,
  // degenerate faces and the neighbours of a NaN vertex all get finite values.
  void need_curvatures();
  // Curvature derivative tensor per vertex (a, b, c, d in the frame
  // principal_dir1, principal_dir2), unless `dcurv` already has one entry per
  // vertex; builds curvatures and, when missing, point areas first. Skipped
  // faces and area-0 vertices as in need_curvatures: such vertices keep
  // (0, 0, 0, 0).
  void need_dcurv();

  // ---- Vertex removal and renumbering (mesh/remove.cpp) -----------------
  // Removes every vertex whose entry in `to_remove` is true (a short bitmap
  // keeps the rest), renumbering the others in order (see remap_verts).
  void remove_vertices(const std::vector<bool>& to_remove);
  // Removes the vertices no face uses. A mesh without any faces (a point
  // set) is left as it is.
  void remove_unused_vertices();
  // Renumbers vertex i to remap_table[i], dropping it when that is -1. Moves
  // every present per-vertex array, drops faces with a dropped corner,
  // rewrites grid cells and strips (a dropped vertex splits its strip; every
  // kept triangle keeps its orientation), then recomputes the derived data
  // that had been present. Refused with a message, mesh unchanged, when the
  // table's size is not the vertex count or a value is not below it. A table
  // keeping no vertex clears the mesh. Two old vertices mapped to one new
  // index merge (the later one's data wins).
  void remap_verts(const std::vector<int>& remap_table);
  // Renumbers vertices in order of first use by the grid, else the strips,
  // else the faces; unreached vertices follow in their old order.
  void reorder_verts();
};

// The state of the generator typical_edge_length draws from (0 at program
// start), so a caller can read a file as a fresh process reads its first one.
uint32_t edge_sampler_state();
void set_edge_sampler_state(uint32_t state);
