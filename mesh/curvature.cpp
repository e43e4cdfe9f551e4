// Corner and point areas, principal curvatures and the curvature derivative.
//
// Curvature is estimated face by face: a least-squares fit of how the vertex
// normals change along the three edges gives the second fundamental form in
// the face's frame; each corner's vertex receives it, rotated into its own
// frame, weighted by its corner area over its point area. The derivative of
// the curvature tensor is fitted the same way from the vertex tensors.
#include <cassert>
#include <cmath>

#include "geometry/dense_solvers.h"
#include "geometry/large_arrays.h"
#include "mesh/TriMesh.h"
#include "mesh/curvature_fits.h"
#include "mesh/curvature_frames.h"
#include "mesh/diagnostics.h"
#include "mesh/vertex_gather.h"

namespace {

// Weight of a face's corner at vertex v, or 0 when v has no area (so a
// degenerate neighbourhood gets no contribution instead of 0 / 0).
inline float corner_weight(float corner_area, float point_area) {
  return point_area > 0.0f ? corner_area / point_area : 0.0f;
}

// Four faces' corner data in vector lanes: corner j of group face l is
// vertex faces[group[l]][j]; a group of fewer than four repeats its last
// face in the spare lanes, whose results are not used.
struct LaneCorners {
  const int32_t* group;  // the group's face indices
  int count;             // 1 to 4
  int32_t v[3][4];
  LaneCorners(const std::vector<Face>& faces, const int32_t* group_, int count_)
      : group(group_), count(count_) {
    assert(count >= 1 && count <= 4);
    for (int l = 0; l < 4; l++) {
      const Face& f = faces[group[l < count ? l : count - 1]];
      for (int j = 0; j < 3; j++) v[j][l] = f[j];
    }
  }
  Vec3<Float4> of(const std::vector<point>& values, int j) const {
    const point* a = values.data();
    const int32_t* c = v[j];
    return {float4_of(a[c[0]].x, a[c[1]].x, a[c[2]].x, a[c[3]].x),
            float4_of(a[c[0]].y, a[c[1]].y, a[c[2]].y, a[c[3]].y),
            float4_of(a[c[0]].z, a[c[1]].z, a[c[2]].z, a[c[3]].z)};
  }
  Float4 of(const std::vector<float>& values, int j) const {
    const int32_t* c = v[j];
    return float4_of(values[c[0]], values[c[1]], values[c[2]], values[c[3]]);
  }
  // Hands the group's fitted faces (lanes set in `fitted`), in face order,
  // to their corners in `range`: add(vertex, weight, values) with that
  // corner's K results and its corner weight.
  template <int K, typename Add>
  void add_fitted(const TriMesh& mesh, int fitted, const Float4 (&results)[3][K],
                  const VertexRange& range, const Add& add) const {
    float lanes[3][K][4];
    for (int j = 0; j < 3; j++)
      for (int k = 0; k < K; k++) store(results[j][k], lanes[j][k]);
    for (int l = 0; l < count; l++) {
      if (!((fitted >> l) & 1)) continue;
      const int32_t i = group[l];
      for (int j = 0; j < 3; j++) {
        const int vj = v[j][l];
        if (!range.owns(vj)) continue;
        float values[K];
        for (int k = 0; k < K; k++) values[k] = lanes[j][k][l];
        add(vj, corner_weight(mesh.corner_areas[i][j], mesh.point_areas[vj]), values);
      }
    }
  }
};

// A face without area adds 0 x (possibly unbounded fit) to its corners, so
// the fits leave it out.
inline bool has_area(const point& corner_areas) { return !(corner_areas == point()); }

// Voronoi-style share of a triangle's area at each corner (the mixed areas
// that fall back to fixed fractions for obtuse triangles), from the face's
// edges (curvature_fits::face_edges).
point corner_areas_of(const point e[3]) {
  float area = 0.5f * len(cross(e[0], e[1]));
  float l2[3] = {len2(e[0]), len2(e[1]), len2(e[2])};
  // Barycentric weights of the circumcentre; one <= 0 means that corner is
  // obtuse or right and the circumcentre lies outside the triangle.
  float ew[3] = {l2[0] * (l2[1] + l2[2] - l2[0]), l2[1] * (l2[2] + l2[0] - l2[1]),
                 l2[2] * (l2[0] + l2[1] - l2[2])};
  point c;
  if (ew[0] <= 0.0f) {
    c[1] = -0.25f * l2[2] * area / dot(e[0], e[2]);
    c[2] = -0.25f * l2[1] * area / dot(e[0], e[1]);
    c[0] = area - c[1] - c[2];
  } else if (ew[1] <= 0.0f) {
    c[2] = -0.25f * l2[0] * area / dot(e[1], e[0]);
    c[0] = -0.25f * l2[2] * area / dot(e[1], e[2]);
    c[1] = area - c[2] - c[0];
  } else if (ew[2] <= 0.0f) {
    c[0] = -0.25f * l2[1] * area / dot(e[2], e[1]);
    c[1] = -0.25f * l2[0] * area / dot(e[2], e[0]);
    c[2] = area - c[0] - c[1];
  } else {
    float s = 0.5f * area / (ew[0] + ew[1] + ew[2]);
    c[0] = s * (ew[1] + ew[2]);
    c[1] = s * (ew[2] + ew[0]);
    c[2] = s * (ew[0] + ew[1]);
  }
  return c;
}

}  // namespace

void TriMesh::need_point_areas() {
  const size_t nv = vertices.size();
  // Present only with a corner-area triple per face as well: the curvature
  // passes index corner_areas by face, so a stale table must be rebuilt.
  if (point_areas.size() == nv && corner_areas.size() == faces.size()) return;

  need_faces();
  progress_printf("Computing point areas... ");
  assign_large(point_areas, nv);
  assign_large(corner_areas, faces.size());

  // Per face first (each face writes only its own triple), then per vertex
  // in face order, so the sums match a single face loop bit for bit.
  parallel_for(faces.size(), 4096, [&](size_t i) {
    const Face& f = faces[i];
    const point p[3] = {vertices[f[0]], vertices[f[1]], vertices[f[2]]};
    point e[3];
    curvature_fits::face_edges(p, e);
    point c = corner_areas_of(e);
    // A degenerate face (coincident corners: 0 / 0) or one with a NaN corner
    // stands for no area rather than spreading NaN to its vertices.
    if (std::isfinite(c[0] + c[1] + c[2])) corner_areas[i] = c;
  });
  gather_faces(faces, nv, [&](size_t i, const VertexRange& range) {
    const Face& f = faces[i];
    for (int j = 0; j < 3; j++)
      if (range.owns(f[j])) point_areas[f[j]] += corner_areas[i][j];
  });
  progress_printf("Done.\n");
}

void TriMesh::need_curvatures() {
  const size_t nv = vertices.size();
  if (principal_curv1.size() == nv) return;

  need_faces();
  need_normals();
  need_point_areas();
  progress_printf("Computing curvatures... ");

  assign_large(principal_curv1, nv);
  assign_large(principal_curv2, nv);
  assign_large(principal_dir1, nv);
  assign_large(principal_dir2, nv);
  std::vector<float> curv12;
  assign_large(curv12, nv);

  // Initial vertex frames: an edge out of each vertex (the last face to touch
  // it wins), made tangent to the normal.
  gather_faces(faces, nv, [&](size_t i, const VertexRange& range) {
    const Face& f = faces[i];
    for (int j = 0; j < 3; j++)
      if (range.owns(f[j])) principal_dir1[f[j]] = vertices[f[(j + 1) % 3]] - vertices[f[j]];
  });
  parallel_for(nv, 4096, [&](size_t i) {
    point d = cross(principal_dir1[i], normals[i]);
    principal_dir1[i] = normalize(d);
    principal_dir2[i] = cross(normals[i], principal_dir1[i]);
  });

  // The form of each face, fitted four faces at a time, handed to each
  // corner's vertex in that vertex's frame.
  gather_face_groups(faces, nv, [&](size_t i) { return has_area(corner_areas[i]); },
                     [&](const int32_t* group, int count, const VertexRange& range) {
    const LaneCorners corners(faces, group, count);
    Vec3<Float4> p[3], n[3], pd1[3], pd2[3];
    for (int j = 0; j < 3; j++) {
      p[j] = corners.of(vertices, j);
      n[j] = corners.of(normals, j);
      pd1[j] = corners.of(principal_dir1, j);
      pd2[j] = corners.of(principal_dir2, j);
    }
    Float4 form[3][3];
    const int fitted = lanes_of(curvature_fits::curvature_fit(p, n, pd1, pd2, form));
    corners.add_fitted(*this, fitted, form, range, [&](int v, float wt, const float* c) {
      principal_curv1[v] += wt * c[0];
      curv12[v] += wt * c[1];
      principal_curv2[v] += wt * c[2];
    });
  });

  parallel_for(nv, 4096, [&](size_t i) {
    principal_directions(principal_dir1[i], principal_dir2[i], principal_curv1[i], curv12[i],
                         principal_curv2[i], normals[i], principal_dir1[i], principal_dir2[i],
                         principal_curv1[i], principal_curv2[i]);
  });
  progress_printf("Done.\n");
}

void TriMesh::need_dcurv() {
  const size_t nv = vertices.size();
  if (dcurv.size() == nv) return;

  need_curvatures();
  // Curvatures may outlive the areas (remove_faces drops only the areas).
  need_point_areas();
  progress_printf("Computing dcurv... ");
  assign_large(dcurv, nv);

  // The derivative of each face, fitted four faces at a time, handed to
  // each corner's vertex in that vertex's frame.
  gather_face_groups(faces, nv, [&](size_t i) { return has_area(corner_areas[i]); },
                     [&](const int32_t* group, int count, const VertexRange& range) {
    const LaneCorners corners(faces, group, count);
    Vec3<Float4> p[3], pd1[3], pd2[3];
    Float4 k1[3], k2[3];
    for (int j = 0; j < 3; j++) {
      p[j] = corners.of(vertices, j);
      pd1[j] = corners.of(principal_dir1, j);
      pd2[j] = corners.of(principal_dir2, j);
      k1[j] = corners.of(principal_curv1, j);
      k2[j] = corners.of(principal_curv2, j);
    }
    Float4 derivative[3][4];
    const int fitted = lanes_of(curvature_fits::dcurv_fit(p, pd1, pd2, k1, k2, derivative));
    corners.add_fitted(*this, fitted, derivative, range, [&](int v, float wt, const float* d) {
      for (int k = 0; k < 4; k++) dcurv[v][k] += wt * d[k];
    });
  });
  progress_printf("Done.\n");
}
