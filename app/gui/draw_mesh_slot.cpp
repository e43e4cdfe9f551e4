#include "app/gui/draw_mesh_slot.h"

#include <GL/gl.h>

#include <memory>
#include <unordered_map>
#include <vector>

#include "app/gui/draw_ridge_lines.h"
#include "app/gui/mesh_buffers.h"
#include "registration/significant_colors.h"

namespace {

// The buffers of each slot drawn so far, kept for the life of the window.
MeshBuffers& buffers_of(const MeshSlot& slot) {
  static std::unordered_map<const MeshSlot*, std::unique_ptr<MeshBuffers>> buffers;
  std::unique_ptr<MeshBuffers>& b = buffers[&slot];
  if (!b) b.reset(new MeshBuffers());
  return *b;
}

}  // namespace

void setup_lighting(const MeshSlot& slot, const SlotAppearance& look) {
  if (!look.lighting || !slot.mesh || slot.mesh->normals.size() != slot.mesh->vertices.size() ||
      slot.mesh->normals.empty()) {
    glDisable(GL_LIGHTING);
    return;
  }
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  const GLfloat highlight[4] = {0.38f, 0.38f, 0.38f, 0.38f};
  const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, look.brightness ? highlight : none);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 64.0f);

  const GLfloat diffuse0[4] = {0.85f, 0.85f, 0.8f, 0.85f};
  const GLfloat specular0[4] = {0.85f, 0.85f, 0.85f, 0.85f};
  // Light 1 darkens faintly from the side opposite light 0.
  const GLfloat diffuse1[4] = {-0.01f, -0.01f, -0.03f, -0.03f};
  const GLfloat ambient[4] = {0.02f, 0.02f, 0.05f, 0.05f};
  glLightfv(GL_LIGHT0, GL_AMBIENT, none);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular0);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_FALSE);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, look.two_sided ? GL_TRUE : GL_FALSE);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHT1);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_NORMALIZE);
}

void draw_mesh_slot(MeshSlot& slot, const SlotAppearance& look, const ViewOptions& options,
                    const point& eye) {
  if (!slot.mesh) return;
  TriMesh& mesh = *slot.mesh;
  const size_t n = mesh.vertices.size();
  if (n == 0) return;
  const bool overlapped = options.views_mode == 0;
  glPushMatrix();
  if (overlapped) glMultMatrixd(slot.pose.m);

  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  if (look.two_sided) {
    glDisable(GL_CULL_FACE);
  } else {
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
  }

  const bool has_normals = mesh.normals.size() == n;
  const Color* colors = nullptr;
  if (slot.color_mode == 1 && mesh.colors.size() == n) {
    colors = mesh.colors.data();
  } else if (slot.color_mode == 2 && mesh.colors.size() == n) {
    refresh_significant_colors(slot);
    colors = slot.significant_colors.data();
  }
  MeshBuffers& buffers = buffers_of(slot);
  buffers.sync(mesh.vertices.data(), n, has_normals ? mesh.normals.data() : nullptr, colors,
               mesh.tristrips);
  buffers.bind(true);
  if (!colors) glColor4f(1.0f, 1.0f, 1.0f, 0.0f);

  if (mesh.tristrips.empty()) {
    glPointSize(1.0f);
    buffers.draw_points();
  } else {
    if (look.wireframe) {
      glEnable(GL_POLYGON_OFFSET_FILL);
      glPolygonOffset(10.0f, 10.0f);
    }
    buffers.draw_strips();
    // The back-face test of the ridge lines needs the eye in the frame the
    // mesh's vertices are in: under its pose in the overlapped view.
    // The ridge pass draws from client arrays of its own.
    MeshBuffers::unbind();
    draw_ridge_lines(slot, overlapped ? inverse(slot.pose) * eye : eye, options);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glLineWidth(1.0f);

    if (look.wireframe) {
      glPolygonMode(GL_FRONT, GL_LINE);
      buffers.bind(false);
      glDisable(GL_COLOR_MATERIAL);
      const GLfloat ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
      const GLfloat diffuse0[4] = {0.8f, 0.8f, 0.8f, 0.0f};
      const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 0.0f};
      const GLfloat diffuse1[4] = {-0.2f, -0.2f, -0.2f, 0.0f};
      const GLfloat blue[4] = {0.0f, 0.0f, 1.0f, 1.0f};
      glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
      glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
      glLightfv(GL_LIGHT0, GL_SPECULAR, none);
      glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
      glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, blue);
      glColor3f(0.0f, 0.0f, 1.0f);
      buffers.draw_strips();
      glPolygonMode(GL_FRONT, GL_FILL);
    }
  }
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  MeshBuffers::unbind();
  glPopMatrix();
}
