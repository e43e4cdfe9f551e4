// The program's global state: one AppState, created before main runs and
// never destroyed, owning the alignment engine (with the two mesh slots), the
// view state and the display options. Panel controls edit these fields in
// place as live variables; code that changes one behind the panel's back
// calls sync_live_all() on the panel.
#pragma once

#include <cstdint>
#include <memory>

#include "app/ViewCamera.h"
#include "geometry/PoseMatrix.h"
#include "mesh/TriMesh.h"
#include "registration/Aligner.h"

struct ViewOptions {
  bool collect_mode = false;     // ridge pass marks vertices instead of drawing
  int32_t show_ridges = 0;       // "Crestas"
  int32_t show_valleys = 0;      // "Valles"
  float ridge_threshold = 0.2f;  // "Umbral", 0 to 0.5
  int32_t views_mode = 0;        // "Superpuestas" 0 / "Separadas" 1
  int32_t move_mesh2 = 0;        // "Mover malla2"
  bool active_view = true;       // split view: true = upper (mesh 1) clicked last
};

struct ViewState {
  BoundingSphere spheres[3];     // [0] both meshes in the common frame, [1] mesh 1, [2] mesh 2
  PoseMatrix overlap_view;       // view transform of the overlapped view
  PoseMatrix mesh1_view;         // view transform of mesh 1's split view
  PoseMatrix mesh2_view;         // view transform of mesh 2's split view
  PoseMatrix initial_pose;       // mesh 2's pose shown by "INICIAL"
  PoseMatrix icp_pose;           // mesh 2's pose after "ICP"
  PoseMatrix color_icp_pose;     // mesh 2's pose after "ICP_Color"
  ViewCamera cameras[3];         // [0] overlapped, [1] mesh 1 view, [2] mesh 2 view
  float eye[3] = {0.0f, 0.0f, 0.0f};  // eye point, set by the display before drawing
};

struct AppState {
  std::unique_ptr<Aligner> aligner;
  std::unique_ptr<ViewState> view_state;
  std::unique_ptr<ViewOptions> view_options;
  int32_t shown_pose = 0;        // "INICIAL" 0 / "ICP" 1 / "ICP_COLOR" 2
  int32_t load_stage = 0;        // 0 nothing loaded, 1 mesh 1 loaded, 2 mesh 2 loaded
  // Which variants have succeeded since the last load or reset: "Grabar"
  // needs both, so a save never pairs a new result with a stored or stale one.
  bool icp_run_fresh = false;
  bool color_run_fresh = false;

  AppState()
      : view_state(std::make_unique<ViewState>()),
        view_options(std::make_unique<ViewOptions>()) {
    aligner = std::make_unique<Aligner>();
  }
};

// The program's one AppState. It is created during static initialisation,
// before main runs, and never destroyed; every callback reaches it through
// this accessor. Panel controls hold pointers into it (live variables).
AppState& app_state();

// Replaces the global AppState with a freshly constructed one, destroying the
// old. For tests that need a clean start: any panel built on the old state
// holds dangling live variables and must be rebuilt.
void reset_app_state();
