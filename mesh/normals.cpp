// Per-vertex normals: angle-and-edge weighted sums of face normals for
// meshes (from strips when present, else from faces), and the normal of a
// plane fitted to the 6 nearest neighbours for point clouds.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/dense_solvers.h"
#include "geometry/large_arrays.h"
#include "mesh/TriMesh.h"
#include "mesh/diagnostics.h"
#include "mesh/vertex_gather.h"
#include "spatial/KDtree.h"

namespace {

// Adds triangle (i0, i1, i2)'s contribution to the three corner normals: the
// cross product of two edges divided by the product of the squared lengths of
// the two edges meeting at each corner, which weighs a face by the sine of
// its corner angle over the product of those edge lengths. A face whose
// weights are not all finite (a zero-length edge, a NaN coordinate, an
// overflowing square) is skipped so that it cannot turn a sum into NaN.
// Only the corners in `range` are written (see mesh/vertex_gather.h).
inline void accumulate_face(const std::vector<point>& verts, std::vector<point>& sums,
                            const VertexRange& range, int i0, int i1, int i2, bool flipped) {
  const point& p0 = verts[i0];
  const point& p1 = verts[i1];
  const point& p2 = verts[i2];
  point a = p0 - p1, b = p1 - p2, c = p2 - p0;
  point n = cross(a, b);
  if (flipped) n = -n;
  float l2a = len2(a), l2b = len2(b), l2c = len2(c);
  point n0 = n * (1.0f / (l2a * l2c));
  point n1 = n * (1.0f / (l2b * l2a));
  point n2 = n * (1.0f / (l2c * l2b));
  float check = n0.x + n0.y + n0.z + n1.x + n1.y + n1.z + n2.x + n2.y + n2.z;
  if (!std::isfinite(check)) return;
  if (range.owns(i0)) sums[i0] += n0;
  if (range.owns(i1)) sums[i1] += n1;
  if (range.owns(i2)) sums[i2] += n2;
}

// Walks length-prefixed strips: in each strip the triangles are consecutive
// index triples, alternating in orientation starting unflipped. A strip
// length that runs past the end of the stream is cut at the end, and a
// triangle with an index outside the vertex range (a stream left in the
// -1-terminated form) is skipped, so a malformed stream cannot reach outside
// the arrays. Each thread walks the whole stream for its own vertex range.
void accumulate_strips(const std::vector<point>& verts, const std::vector<int32_t>& strips,
                       std::vector<point>& sums) {
  const uint32_t nv = static_cast<uint32_t>(verts.size());
  auto in_range = [nv](int32_t i) { return static_cast<uint32_t>(i) < nv; };
  const size_t n = strips.size();
  for_vertex_ranges(verts.size(), [&](const VertexRange& range) {
    size_t pos = 0;
    while (pos < n) {
      int32_t count = strips[pos++];
      if (count <= 0) continue;
      size_t end = pos + static_cast<size_t>(count);
      if (end > n) end = n;
      bool flipped = false;
      for (size_t i = pos + 2; i < end; i++) {
        const int32_t a = strips[i - 2], b = strips[i - 1], c = strips[i];
        if (in_range(a) && in_range(b) && in_range(c) &&
            (range.owns(a) || range.owns(b) || range.owns(c)))
          accumulate_face(verts, sums, range, a, b, c, flipped);
        flipped = !flipped;
      }
      pos = end;
    }
  });
}

void accumulate_faces(const std::vector<point>& verts, const std::vector<Face>& faces,
                      std::vector<point>& sums) {
  gather_faces(faces, verts.size(), [&](size_t i, const VertexRange& range) {
    const Face& f = faces[i];
    accumulate_face(verts, sums, range, f[0], f[1], f[2], false);
  });
}

// Point cloud: the normal of vertex i is the eigenvector of the smallest
// eigenvalue of the scatter matrix of its 5 nearest other points about it,
// turned to face +z.
void fit_point_cloud_normals(const std::vector<point>& verts, std::vector<point>& normals) {
  const int kNeighbours = 6;
  const size_t kBlock = 1024;  // vertices per piece of the parallel loop
  const point up(0.0f, 0.0f, 1.0f);
  KDtree tree(verts);
  const size_t nv = verts.size();
  // The searches run in parallel; the warnings are printed afterwards, in
  // vertex order, as a single loop would print them.
  std::vector<unsigned char> too_few(nv, 0);
  parallel_for((nv + kBlock - 1) / kBlock, 1, [&](size_t block) {
    std::vector<const float*> found;
    found.reserve(kNeighbours);
    const size_t end = std::min(nv, (block + 1) * kBlock);
    for (size_t i = block * kBlock; i < end; i++) {
      const point& p = verts[i];
      tree.find_k_nearest(found, kNeighbours, p.data());
      if (found.size() < 3) {
        too_few[i] = 1;
        normals[i] = up;
        continue;
      }
      float c[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
      for (size_t j = 1; j < found.size(); j++) {
        point d = point(found[j]) - p;
        for (int r = 0; r < 3; r++)
          for (int s = 0; s < 3; s++) c[r][s] += d[r] * d[s];
      }
      float eigenvalues[3], vectors[3][3];
      eigen_symmetric3(c, eigenvalues, vectors);
      point n(vectors[0][0], vectors[1][0], vectors[2][0]);
      if (dot(n, up) < 0.0f) n = -n;
      normals[i] = n;
    }
  });
  for (size_t i = 0; i < nv; i++)
    if (too_few[i]) progress_printf("Warning: not enough points for vertex %d\n", static_cast<int>(i));
}

}  // namespace

void TriMesh::need_normals() {
  const size_t nv = vertices.size();
  if (normals.size() == nv) return;

  progress_printf("Computing normals... ");
  assign_large(normals, nv);

  if (!tristrips.empty()) {
    accumulate_strips(vertices, tristrips, normals);
  } else {
    need_faces();
    if (!faces.empty())
      accumulate_faces(vertices, faces, normals);
    else
      fit_point_cloud_normals(vertices, normals);
  }

  parallel_for(nv, 4096, [&](size_t i) { normalize(normals[i]); });
  progress_printf("Done.\n");
}
