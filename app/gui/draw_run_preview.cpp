#include "app/gui/draw_run_preview.h"

#include <GL/gl.h>

#include <memory>
#include <unordered_map>
#include <vector>

#include "app/gui/mesh_buffers.h"
#include "app/run_preview.h"
#include "registration/significant_colors.h"

namespace {

// One slot's preview: which vertices it draws (for meshes of `picked_from`
// vertices), their gathered arrays and the GL buffers they went to.
struct Preview {
  size_t picked_from = 0;
  std::vector<int32_t> picks;
  std::vector<point> vertices, normals;
  std::vector<Color> colors;
  MeshBuffers buffers;
};

// The previews of each slot drawn so far, kept for the life of the window.
Preview& preview_of(const MeshSlot& slot) {
  static std::unordered_map<const MeshSlot*, std::unique_ptr<Preview>> previews;
  std::unique_ptr<Preview>& p = previews[&slot];
  if (!p) p.reset(new Preview());
  return *p;
}

// The colours the whole mesh is drawn with in the slot's colour mode; null
// for white.
const Color* mode_colors(MeshSlot& slot) {
  const TriMesh& mesh = *slot.mesh;
  if (mesh.colors.size() != mesh.vertices.size()) return nullptr;
  if (slot.color_mode == 1) return mesh.colors.data();
  if (slot.color_mode != 2) return nullptr;
  refresh_significant_colors(slot);
  return slot.significant_colors.data();
}

}  // namespace

void draw_run_preview(MeshSlot& slot, const ViewOptions& options) {
  if (!slot.mesh || slot.mesh->vertices.empty()) return;
  const TriMesh& mesh = *slot.mesh;
  const size_t n = mesh.vertices.size();
  Preview& p = preview_of(slot);
  if (p.picked_from != n) {
    p.picks = preview_indices(n, kPreviewPoints);
    p.picked_from = n;
  }
  // Gather the chosen vertices' data.
  const bool has_normals = mesh.normals.size() == n;
  const Color* colors = mode_colors(slot);
  const size_t m = p.picks.size();
  p.vertices.resize(m);
  p.normals.resize(has_normals ? m : 0);
  p.colors.resize(colors ? m : 0);
  for (size_t k = 0; k < m; k++) {
    const size_t i = size_t(p.picks[k]);
    p.vertices[k] = mesh.vertices[i];
    if (has_normals) p.normals[k] = mesh.normals[i];
    if (colors) p.colors[k] = colors[i];
  }
  static const std::vector<int32_t> no_strips;
  p.buffers.sync(p.vertices.data(), m, has_normals ? p.normals.data() : nullptr,
                 colors ? p.colors.data() : nullptr, no_strips);

  glPushMatrix();
  if (options.views_mode == 0) glMultMatrixd(slot.pose.m);
  // Plain square points: the ridge pass leaves point smoothing and blending
  // on, and smoothed points cost the software renderer several times more.
  glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT);
  glDisable(GL_POINT_SMOOTH);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  p.buffers.bind(true);
  if (!colors) glColor4f(1.0f, 1.0f, 1.0f, 0.0f);
  glPointSize(1.0f);
  p.buffers.draw_points();
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  MeshBuffers::unbind();
  glPopAttrib();
  glPopMatrix();
}
