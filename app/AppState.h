// The application's context: one AppState per run of the program (or per
// test), made by main and passed to every piece of code that needs it. It
// owns the alignment engine (with the two mesh slots), the view state, the
// display options, the panel's control handles and actions, the last trial
// batch and the window's hooks, and reaches the dialogs through `platform()`.
// Panel controls edit its fields in place as live variables; code that
// changes one behind the panel's back calls sync_live_all().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/Platform.h"
#include "app/ViewCamera.h"
#include "app/trial_basin.h"
#include "app/control_handles.h"
#include "app/panel_actions.h"
#include "app/viewer_hooks.h"
#include "geometry/PoseMatrix.h"
#include "mesh/TriMesh.h"
#include "registration/Aligner.h"

// How one mesh is drawn: the switches of its "Apariencia" panel. Back to
// these values whenever a mesh is read into the slot.
struct SlotAppearance {
  int32_t brightness = 1;        // "Brillo": specular highlight
  int32_t lighting = 1;          // "Luz"
  int32_t two_sided = 1;         // "Ver ambas caras"
  int32_t wireframe = 0;         // "Ver mallado"
};

struct ViewOptions {
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
};

struct TrialCounts {
  int both_good = 0;       // both variants converged
  int only_color = 0;      // only the colour ICP converged
  int only_geometric = 0;  // only the geometric ICP converged
  int unsaved = 0;         // trials whose result files could not be written
  int refused = 0;         // trials whose prealignment refused (their runs not made)
};

// The last finished or cancelled batch of this run (all zero before any).
struct LastBatch {
  bool done = false;                 // a batch ended with its log closed
  TrialCounts counts;
  int trials = 0;                    // trials finished
  std::vector<TrialRecord> records;  // one per finished trial, for the basin picture
};

// The errors a stored trial's summary gives, which the panel's captions show
// after "Cargar Ensayo" until the next run or load.
struct StoredErrors {
  bool shown = false;
  std::string icp, color;  // as the summary gives them: a number or "sin ejecutar"
};

// What the status area at the top of the panel says besides the files
// (panel_status.h).
struct PanelStatus {
  std::string outcome;  // the last action's outcome, Windows-1252
  std::string warning;  // what went wrong besides, shown below the outcome; empty: nothing
  std::string busy;     // what runs now; empty when nothing does
};

// The last prealignment of this run, as the panel shows it below "Prealinear".
struct PrealignState {
  bool shown = false;      // a prealignment ran since mesh 2 was loaded
  bool ok = false;         // it was verified (and moved mesh 2)
  float fitness = 0.0f;    // its overlap, 0..1
  float residual = 0.0f;   // its residual, point spacings
  bool can_undo = false;   // "Deshacer" puts mesh 2 back at `before`
  PoseMatrix before;       // mesh 2's pose before the last prealignment that moved it
};

// A trial batch under way between window events (alignment_actions.cpp).
struct RunningBatch;

struct AppState {
  std::unique_ptr<Aligner> aligner;
  std::unique_ptr<ViewState> view_state;
  std::unique_ptr<ViewOptions> view_options;
  SlotAppearance appearance[2];  // of mesh 1 and mesh 2
  int32_t shown_pose = 0;        // "INICIAL" 0 / "ICP" 1 / "ICP_COLOR" 2 (the IcpMode shown)
  int32_t parallel_batch = 0;    // "Paralelo": "Aleatorio" runs its trials side by side
  int32_t load_stage = 0;        // 0 nothing loaded, 1 mesh 1 loaded, 2 mesh 2 loaded
  ControlHandles controls;       // filled by build_control_panel; all null before
  PanelActions actions;          // what the panel's buttons run
  LastBatch last_batch;          // shown below the panel
  StoredErrors stored_errors;    // the loaded trial's errors, for the captions
  PanelStatus status;            // the status area's outcome and busy lines
  PrealignState prealign;        // shown below "Prealinear"
  std::shared_ptr<RunningBatch> batch;  // the batch under way; null when none
  bool run_active = false;              // a single ICP run is under way
  bool run_cancel_requested = false;    // "Cancelar" or Esc during that run
  bool loading = false;                 // a scan is being read (load_mesh.h)
  ViewerHooks viewer;            // what the window calls
  Platform* dialogs = nullptr;   // not owned; null: no dialogs (cancel, No)
  // Which variants have succeeded since the last load or reset: "Grabar"
  // needs both, so a save never pairs a new result with a stored or stale one.
  bool icp_run_fresh = false;
  bool color_run_fresh = false;

  AppState()
      : view_state(std::make_unique<ViewState>()),
        view_options(std::make_unique<ViewOptions>()) {
    aligner = std::make_unique<Aligner>();
  }
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  // The dialogs: `dialogs`, or one that cancels and answers No.
  Platform& platform() { return dialogs ? *dialogs : no_dialogs; }
  // Shows every live variable again in the panel; nothing before the panel
  // exists. Call it after changing a live variable in code.
  void sync_live_all() {
    if (controls.panel) controls.panel->sync_live_all();
  }

 private:
  NoDialogs no_dialogs;
};
