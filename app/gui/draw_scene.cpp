#include "app/gui/draw_scene.h"

#include <GL/gl.h>

#include <cstdio>
#include <vector>

#include "app/camera.h"
#include "registration/ridge_lines.h"
#include "registration/significant_colors.h"

namespace {

// Buffers reused from frame to frame so a redraw allocates nothing once grown.
std::vector<float> g_ndotv;
std::vector<RidgeSegment> g_ridge_segments;
std::vector<point> g_ridge_points;

void set_eye(ViewState& vs, const PoseMatrix& view) {
  point eye = inverse(view) * point(0.0f, 0.0f, 0.0f);
  for (int i = 0; i < 3; i++) vs.eye[i] = eye[i];
}

void load_matrix(const PoseMatrix& m) { glMultMatrixd(m.m); }

// Draws one framed view: clear, eye, camera, then the given slots.
void draw_view(AppState& app, GlCameraDevice& device, const PoseMatrix& view,
               const BoundingSphere& sphere, ViewCamera& camera, MeshSlot* first,
               MeshSlot* second) {
  ViewState& vs = *app.view_state;
  clear_frame();
  set_eye(vs, view);
  camera_setup(camera, device, view * sphere.center, sphere.radius);
  glPushMatrix();
  load_matrix(view);
  for (MeshSlot* s : {first, second}) {
    if (!s || !s->loaded || !s->mesh) continue;
    setup_lighting(*s);
    draw_mesh_slot(*s, *app.view_options, vs);
  }
  glPopMatrix();
}

void draw_strips(const std::vector<int32_t>& strips) {
  size_t i = 0;
  while (i < strips.size()) {
    int32_t n = strips[i++];
    if (n < 0 || size_t(n) > strips.size() - i) break;  // malformed stream: stop, draw nothing more
    glDrawElements(GL_TRIANGLE_STRIP, n, GL_UNSIGNED_INT, strips.data() + i);
    i += size_t(n);
  }
}

}  // namespace

void draw_scene(AppState& app, GlCameraDevice& device) {
  ViewState& vs = *app.view_state;
  MeshSlot* s1 = app.aligner->slots[0].get();
  MeshSlot* s2 = app.aligner->slots[1].get();
  device.auto_set_viewport();
  if (app.load_stage == 0) {
    glDisable(GL_SCISSOR_TEST);
    clear_frame();
    return;
  }
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  GlSnapshot state;
  device.read_state(state);
  const int x = state.viewport[0], y = state.viewport[1];
  const int w = state.viewport[2], h = state.viewport[3];
  glEnable(GL_SCISSOR_TEST);

  if (app.load_stage == 1) {
    device.set_viewport(x, y, w, h);
    draw_view(app, device, vs.overlap_view, vs.spheres[0], vs.cameras[0], s1, nullptr);
  } else if (app.view_options->views_mode == 1) {
    const int half = h / 2;
    device.set_viewport(x, y, w, half);
    draw_view(app, device, vs.mesh2_view, vs.spheres[2], vs.cameras[2], s2, nullptr);
    // One black row between the halves, then the upper half above it.
    device.set_viewport(x, y + half, w, half);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    device.set_viewport(x, y + half + 1, w, half - 1);
    draw_view(app, device, vs.mesh1_view, vs.spheres[1], vs.cameras[1], s1, nullptr);
  } else {
    device.set_viewport(x, y, w, h);
    draw_view(app, device, vs.overlap_view, vs.spheres[0], vs.cameras[0], s1, s2);
  }
  // The panel is drawn over the whole window afterwards.
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_CULL_FACE);
  device.auto_set_viewport();
}

void setup_lighting(const MeshSlot& slot) {
  if (!slot.lighting || !slot.mesh || slot.mesh->normals.size() != slot.mesh->vertices.size() ||
      slot.mesh->normals.empty()) {
    glDisable(GL_LIGHTING);
    return;
  }
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  const GLfloat highlight[4] = {0.38f, 0.38f, 0.38f, 0.38f};
  const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, slot.brightness ? highlight : none);
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
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, slot.two_sided ? GL_TRUE : GL_FALSE);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHT1);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_NORMALIZE);
}

void draw_mesh_slot(MeshSlot& slot, const ViewOptions& options, ViewState& vs) {
  if (!slot.mesh) return;
  TriMesh& mesh = *slot.mesh;
  const size_t n = mesh.vertices.size();
  if (n == 0) return;
  const bool overlapped = options.views_mode == 0;
  glPushMatrix();
  if (overlapped) load_matrix(slot.pose);

  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  if (slot.two_sided) {
    glDisable(GL_CULL_FACE);
  } else {
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
  }

  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, mesh.vertices.data());
  const bool has_normals = mesh.normals.size() == n;
  if (has_normals) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, 0, mesh.normals.data());
  } else {
    glDisableClientState(GL_NORMAL_ARRAY);
  }

  const Color* colors = nullptr;
  if (slot.color_mode == 1 && mesh.colors.size() == n) {
    colors = mesh.colors.data();
  } else if (slot.color_mode == 2 && mesh.colors.size() == n) {
    refresh_significant_colors(slot);
    colors = slot.significant_colors.data();
  }
  if (colors) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, 0, colors);
  } else {
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(1.0f, 1.0f, 1.0f, 0.0f);
  }

  if (mesh.tristrips.empty()) {
    glPointSize(1.0f);
    glDrawArrays(GL_POINTS, 0, GLsizei(n));
  } else {
    if (slot.wireframe) {
      glEnable(GL_POLYGON_OFFSET_FILL);
      glPolygonOffset(10.0f, 10.0f);
    }
    draw_strips(mesh.tristrips);
    // The back-face test of the ridge lines needs the eye in the frame the
    // mesh's vertices are in: under its pose in the overlapped view.
    const float common_eye[3] = {vs.eye[0], vs.eye[1], vs.eye[2]};
    if (overlapped) {
      point local = inverse(slot.pose) * point(common_eye);
      for (int i = 0; i < 3; i++) vs.eye[i] = local[i];
    }
    draw_ridge_lines(slot, vs, options);
    for (int i = 0; i < 3; i++) vs.eye[i] = common_eye[i];
    glDisable(GL_POLYGON_OFFSET_FILL);
    glLineWidth(1.0f);

    if (slot.wireframe) {
      glPolygonMode(GL_FRONT, GL_LINE);
      glDisableClientState(GL_COLOR_ARRAY);
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
      draw_strips(mesh.tristrips);
      glPolygonMode(GL_FRONT, GL_FILL);
    }
  }
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  glPopMatrix();
}

void draw_ridge_lines(MeshSlot& slot, const ViewState& vs, const ViewOptions& options) {
  if (!slot.mesh) return;
  const TriMesh& mesh = *slot.mesh;
  const size_t n = mesh.vertices.size();
  // Per-view values: how much each vertex faces the eye.
  const point eye(vs.eye);
  const bool has_normals = mesh.normals.size() == n;
  g_ndotv.resize(n);
  for (size_t i = 0; i < n; i++) {
    point v = eye - mesh.vertices[i];
    normalize(v);
    g_ndotv[i] = has_normals ? dot(v, mesh.normals[i]) : 1.0f;
  }
  glEnable(GL_POINT_SMOOTH);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (options.collect_mode) {
    glDisable(GL_DEPTH_TEST);
    mark_ridge_vertices(slot, options.ridge_threshold, options.show_ridges != 0,
                        options.show_valleys != 0);
    glEnable(GL_DEPTH_TEST);
    return;
  }

  const float threshold = ridge_curvature_threshold(options.ridge_threshold, slot.curvature_scale);
  if (options.show_ridges || options.show_valleys) {
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
