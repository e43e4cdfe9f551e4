// Corner and point areas, principal curvatures and the curvature derivative.
//
// Curvature is estimated face by face: a least-squares fit of how the vertex
// normals change along the three edges gives the second fundamental form in
// the face's frame; each corner's vertex receives it, rotated into its own
// frame, weighted by its corner area over its point area. The derivative of
// the curvature tensor is fitted the same way from the vertex tensors.
#include <cmath>

#include "geometry/dense_solvers.h"
#include "mesh/TriMesh.h"
#include "mesh/curvature_frames.h"
#include "mesh/diagnostics.h"
#include "mesh/vertex_gather.h"

namespace {

// Edges of a face, edge j opposite corner j: e0 = p2 - p1, e1 = p0 - p2,
// e2 = p1 - p0.
struct FaceEdges {
  point e[3];
  FaceEdges(const std::vector<point>& verts, const Face& f) {
    const point& p0 = verts[f[0]];
    const point& p1 = verts[f[1]];
    const point& p2 = verts[f[2]];
    e[0] = p2 - p1;
    e[1] = p0 - p2;
    e[2] = p1 - p0;
  }
};

// The face frame (t, b): t along e0, b in the face plane perpendicular to it.
inline __attribute__((always_inline)) void face_frame(const FaceEdges& fe, point& t, point& b) {
  t = fe.e[0];
  normalize(t);
  point n = cross(fe.e[0], fe.e[1]);
  b = cross(n, t);
  normalize(b);
}

// Voronoi-style share of a triangle's area at each corner (the mixed areas
// that fall back to fixed fractions for obtuse triangles).
point corner_areas_of(const FaceEdges& fe) {
  const point* e = fe.e;
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

// Weight of a face's corner at vertex v, or 0 when v has no area (so a
// degenerate neighbourhood gets no contribution instead of 0 / 0).
inline float corner_weight(float corner_area, float point_area) {
  return point_area > 0.0f ? corner_area / point_area : 0.0f;
}

}  // namespace

void TriMesh::need_point_areas() {
  const size_t nv = vertices.size();
  // Present only with a corner-area triple per face as well: the curvature
  // passes index corner_areas by face, so a stale table must be rebuilt.
  if (point_areas.size() == nv && corner_areas.size() == faces.size()) return;

  need_faces();
  progress_printf("Computing point areas... ");
  point_areas.assign(nv, 0.0f);
  corner_areas.assign(faces.size(), point());

  // Per face first (each face writes only its own triple), then per vertex
  // in face order, so the sums match a single face loop bit for bit.
  parallel_for(faces.size(), 4096, [&](size_t i) {
    point c = corner_areas_of(FaceEdges(vertices, faces[i]));
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

  principal_curv1.assign(nv, 0.0f);
  principal_curv2.assign(nv, 0.0f);
  principal_dir1.assign(nv, point());
  principal_dir2.assign(nv, point());
  std::vector<float> curv12(nv, 0.0f);

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

  gather_faces(faces, nv, [&](size_t i, const VertexRange& range) {
    // A face without area would add 0 x (possibly unbounded fit) to its corners.
    if (corner_areas[i] == point()) return;
    const Face& f = faces[i];
    const FaceEdges fe(vertices, f);
    point t, b;
    face_frame(fe, t, b);

    // Least squares for the second fundamental form (m0, m1, m2) in (t, b):
    // along each edge, the normal change should be the form times the edge.
    float m[3] = {0, 0, 0};
    float w[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    for (int j = 0; j < 3; j++) {
      float u = dot(fe.e[j], t);
      float v = dot(fe.e[j], b);
      w[0][0] += u * u;
      w[0][1] += u * v;
      w[2][2] += v * v;
      point dn = normals[f[(j + 2) % 3]] - normals[f[(j + 1) % 3]];
      float dnu = dot(dn, t);
      float dnv = dot(dn, b);
      m[0] += dnu * u;
      m[1] += dnu * v + dnv * u;
      m[2] += dnv * v;
    }
    w[1][1] = w[0][0] + w[2][2];
    w[1][2] = w[0][1];
    w[1][0] = w[0][1];
    w[2][1] = w[0][1];
    float rdiag[3];
    if (!ldlt_decompose<3>(w, rdiag)) return;
    ldlt_solve<3>(w, rdiag, m, m);

    // Hand the form to each corner's vertex, in that vertex's frame.
    for (int j = 0; j < 3; j++) {
      const int vj = f[j];
      if (!range.owns(vj)) continue;
      float c1, c12, c2;
      project_curvature(t, b, m[0], m[1], m[2], principal_dir1[vj], principal_dir2[vj], c1, c12,
                        c2);
      float wt = corner_weight(corner_areas[i][j], point_areas[vj]);
      principal_curv1[vj] += wt * c1;
      curv12[vj] += wt * c12;
      principal_curv2[vj] += wt * c2;
    }
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
  dcurv.assign(nv, Dcurv());

  gather_faces(faces, nv, [&](size_t i, const VertexRange& range) {
    if (corner_areas[i] == point()) return;  // no area: no contribution, as above
    const Face& f = faces[i];
    const FaceEdges fe(vertices, f);
    point t, b;
    face_frame(fe, t, b);

    // Each corner's curvature tensor, re-expressed in the face frame.
    float fcurv[3][3];
    for (int j = 0; j < 3; j++) {
      const int vj = f[j];
      project_curvature(principal_dir1[vj], principal_dir2[vj], principal_curv1[vj], 0.0f,
                        principal_curv2[vj], t, b, fcurv[j][0], fcurv[j][1], fcurv[j][2]);
    }

    // Least squares for the derivative (a, b, c, d) from the tensor change
    // along each edge.
    float m[4] = {0, 0, 0, 0};
    float w00 = 0.0f, w01 = 0.0f, w11 = 0.0f;
    for (int j = 0; j < 3; j++) {
      float u = dot(fe.e[j], t);
      float v = dot(fe.e[j], b);
      w00 += u * u;
      w01 += u * v;
      w11 += v * v;
      const float* hi = fcurv[(j + 2) % 3];
      const float* lo = fcurv[(j + 1) % 3];
      float d0 = hi[0] - lo[0], d1 = hi[1] - lo[1], d2 = hi[2] - lo[2];
      m[0] += d0 * u;
      m[1] += 2.0f * d1 * u + d0 * v;
      m[2] += 2.0f * d1 * v + d2 * u;
      m[3] += d2 * v;
    }
    float w[4][4] = {{w00, w01, 0.0f, 0.0f},
                     {w01, 2.0f * w00 + w11, 2.0f * w01, 0.0f},
                     {0.0f, 2.0f * w01, w00 + 2.0f * w11, w01},
                     {0.0f, 0.0f, w01, w11}};
    float rdiag[4];
    if (!ldlt_decompose<4>(w, rdiag)) return;
    ldlt_solve<4>(w, rdiag, m, m);

    for (int j = 0; j < 3; j++) {
      const int vj = f[j];
      if (!range.owns(vj)) continue;
      float vcurv[4];
      project_curvature_derivative(t, b, m, principal_dir1[vj], principal_dir2[vj], vcurv);
      float wt = corner_weight(corner_areas[i][j], point_areas[vj]);
      for (int k = 0; k < 4; k++) dcurv[vj][k] += wt * vcurv[k];
    }
  });
  progress_printf("Done.\n");
}
