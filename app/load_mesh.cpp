#include "app/load_mesh.h"

#include <cstdio>

#include "app/curvature_scale.h"
#include "app/path_rule.h"
#include "app/view_setup.h"

const FileFilter kMeshFileFilters[3] = {
    {"Archivos PLY (*.ply)", "*.ply"},
    {"Archivos WRML (*.wrl)", "*.wrl"},
    {"Archivos OBJ (*.obj)", "*.obj"},
};

const char* const kLoadFailedMessage = "Imposible cargar la malla seleccionada\n";

namespace {

bool has_colors(const MeshSlot& s) { return s.mesh && !s.mesh->colors.empty(); }

// "Color real" and "Color Significativo" need per-vertex colours; a
// colourless mesh is shown white.
void apply_color_rule(MeshSlot& s, ScenePanel& panel, SceneControl real, SceneControl significant) {
  if (has_colors(s)) {
    s.color_mode = 1;
  } else {
    s.color_mode = 0;
    panel.set_enabled(real, false);
    panel.set_enabled(significant, false);
  }
}

// The colour ICP and the trial batch compare colours of both meshes.
void apply_color_actions_rule(AppState& app, ScenePanel& panel) {
  bool both = has_colors(*app.aligner->slots[0]) && has_colors(*app.aligner->slots[1]);
  panel.set_enabled(SceneControl::kIcpColor, both);
  panel.set_enabled(SceneControl::kTrials, both);
}

void mesh1_loaded(AppState& app, ScenePanel& panel) {
  ViewState& vs = *app.view_state;
  if (app.load_stage == 0) app.load_stage = 1;
  panel.set_enabled(SceneControl::kLoadMesh2, true);
  panel.set_enabled(SceneControl::kAppearance1, true);
  apply_color_rule(*app.aligner->slots[0], panel, SceneControl::kColorReal1,
                   SceneControl::kColorSignificant1);
  panel.set_enabled(SceneControl::kTolerance1, true);
  panel.set_enabled(SceneControl::kGeometry, true);
  if (app.aligner->slots[1]->mesh) apply_color_actions_rule(app, panel);
  update_view_sphere(app, 2);
  vs.overlap_view = view_transform(vs.spheres[0]);
  update_view_sphere(app, 0);
  vs.mesh1_view = view_transform(vs.spheres[1]);
}

void mesh2_loaded(AppState& app, ScenePanel& panel) {
  ViewState& vs = *app.view_state;
  vs.initial_pose = app.aligner->slots[1]->pose;
  panel.set_enabled(SceneControl::kShowInitial, true);
  app.load_stage = 2;
  panel.set_enabled(SceneControl::kSplit, true);
  panel.set_enabled(SceneControl::kOverlapped, true);
  panel.set_enabled(SceneControl::kMoveMesh2, false);
  panel.set_enabled(SceneControl::kAppearance2, true);
  apply_color_rule(*app.aligner->slots[1], panel, SceneControl::kColorReal2,
                   SceneControl::kColorSignificant2);
  panel.set_enabled(SceneControl::kTolerance2, true);
  panel.set_enabled(SceneControl::kIcp, true);
  panel.set_enabled(SceneControl::kReset, true);
  apply_color_actions_rule(app, panel);
  update_view_sphere(app, 2);
  vs.overlap_view = view_transform(vs.spheres[0]);
  update_view_sphere(app, 0);
  update_view_sphere(app, 1);
  vs.mesh2_view = view_transform(vs.spheres[2]);
  if (app.view_options->views_mode == 0) panel.set_enabled(SceneControl::kMoveMesh2, true);
}

}  // namespace

bool read_scan_into_slot(MeshSlot& s, int k, const std::string& path) {
  s.clear();
  s.index = k;
  s.file_name = path;
  s.mesh.reset(TriMesh::read_mesh(path));
  if (!s.mesh) {
    s.file_name.clear();
    return false;
  }
  s.xf_name = pose_file_name(path);
  reread_pose(s);
  TriMesh& m = *s.mesh;
  m.need_normals();
  m.need_tristrips();
  m.need_bounding_sphere();
  m.need_curvatures();
  m.need_dcurv();
  m.need_neighbors();
  s.loaded = true;
  compute_curvature_scale(s);
  return true;
}

bool load_mesh_path(AppState& app, ScenePanel& panel, int which, const std::string& path) {
  const int k = which & 1;
  if (!read_scan_into_slot(*app.aligner->slots[k], k, path)) return false;
  if (k == 0) {
    mesh1_loaded(app, panel);
  } else {
    mesh2_loaded(app, panel);
  }
  panel.sync_live_all();
  return true;
}

bool load_mesh(AppState& app, ScenePanel& panel, int which) {
  if (which < 0 || which > 3) return false;
  std::string path;
  if (which <= 1) {
    if (!panel.open_file(kMeshFileFilters, 3, path)) return false;
  } else {
    path = app.aligner->slots[which - 2]->stored_name;
  }
  return load_mesh_path(app, panel, which, path);
}

void load_button(AppState& app, ScenePanel& panel, int id) {
  if (!load_mesh(app, panel, id)) {
    std::fputs(kLoadFailedMessage, stdout);
    std::fflush(stdout);
  }
}
