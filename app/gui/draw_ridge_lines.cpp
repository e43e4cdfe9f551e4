#include "app/gui/draw_ridge_lines.h"

#include <GL/gl.h>

#include <vector>

#include "registration/ridge_lines.h"

namespace {

// Buffers reused from frame to frame so a redraw allocates nothing once grown.
std::vector<float> g_ndotv;
std::vector<RidgeSegment> g_ridge_segments;
std::vector<point> g_ridge_points;

}  // namespace

void draw_ridge_lines(const MeshSlot& slot, const point& eye, const ViewOptions& options) {
  if (!slot.mesh) return;
  const TriMesh& mesh = *slot.mesh;
  const size_t n = mesh.vertices.size();
  const bool has_normals = mesh.normals.size() == n;
  glEnable(GL_POINT_SMOOTH);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  const float threshold = ridge_curvature_threshold(options.ridge_threshold, slot.curvature_scale);
  if (options.show_ridges || options.show_valleys) {
    // Per-view values: how much each vertex faces the eye (only the lines
    // need them: a pass over every vertex per frame).
    g_ndotv.resize(n);
    for (size_t i = 0; i < n; i++) {
      point v = eye - mesh.vertices[i];
      normalize(v);
      g_ndotv[i] = has_normals ? dot(v, mesh.normals[i]) : 1.0f;
    }
    // Lines are drawn unlit from a plain vertex array in the line colour.
    GLboolean lighting = glIsEnabled(GL_LIGHTING);
    glDisable(GL_LIGHTING);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(0.05f, 0.05f, 0.05f, 1.0f);
    glLineWidth(3.0f);
    for (int pass = 0; pass < 2; pass++) {
      if (!(pass == 0 ? options.show_ridges : options.show_valleys)) continue;
      g_ridge_segments.clear();
      trace_ridge_lines(mesh, pass == 0 ? RidgeKind::ridge : RidgeKind::valley, threshold,
                        g_ndotv.data(), g_ridge_segments);
      g_ridge_points.clear();
      for (const RidgeSegment& seg : g_ridge_segments) {
        g_ridge_points.push_back(seg.p1);
        g_ridge_points.push_back(seg.p2);
      }
      if (g_ridge_points.empty()) continue;
      glVertexPointer(3, GL_FLOAT, 0, g_ridge_points.data());
      glDrawArrays(GL_LINES, 0, GLsizei(g_ridge_points.size()));
    }
    // Back to the mesh's own arrays for the wire overlay.
    glVertexPointer(3, GL_FLOAT, 0, mesh.vertices.data());
    if (has_normals) glEnableClientState(GL_NORMAL_ARRAY);
    if (lighting) glEnable(GL_LIGHTING);
  }
  glDisable(GL_LINE_SMOOTH);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
}
