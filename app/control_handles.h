// Handles to the panel controls that the program enables, disables or reads
// after start-up, filled by build_control_panel() into AppState::controls. Index [0] is mesh 1's
// control, [1] mesh 2's. Every pointer is null until the panel is built.
#pragma once

#include "app/controls.h"

struct ControlHandles {
  ControlPanel* panel = nullptr;          // the panel itself (AppState::sync_live_all)
  Control* load_mesh[2] = {};             // buttons " Malla 1 ", " Malla 2 "
  Control* views = nullptr;               // radio group of views_mode
  Control* overlapped = nullptr;          // radio "Superpuestas"
  Control* split = nullptr;               // radio "Separadas"
  Control* move_mesh2 = nullptr;          // checkbox "Mover malla2"
  Control* centre = nullptr;              // button "Centrar"
  Control* load_trial = nullptr;          // button "Cargar Ensayo"
  Control* appearance[2] = {};            // panels "Apariencia Malla1", "Apariencia Malla2"
  Control* brightness[2] = {};            // checkboxes "Brillo"
  Control* lighting[2] = {};              // checkboxes "Luz"
  Control* two_sided[2] = {};             // checkboxes "Ver ambas caras"
  Control* wireframe[2] = {};             // checkboxes "Ver mallado"
  Control* color_mode[2] = {};            // radio groups of color_mode
  Control* color_white[2] = {};           // radio "Color blanco"
  Control* color_real[2] = {};            // radio "Color real"
  Control* color_significant[2] = {};     // radio "Color Significativo"
  Control* tolerance[2] = {};             // sliders "tolerancia"
  Control* geometry = nullptr;            // panel "Geometria"
  Control* ridges = nullptr;              // checkbox "Crestas"
  Control* valleys = nullptr;             // checkbox "Valles"
  Control* ridge_threshold = nullptr;     // slider "Umbral"
  Control* icp_panel = nullptr;           // panel "ICP"
  Control* prealign = nullptr;            // button "Prealinear"
  Control* prealign_outcome = nullptr;    // panel below it, labelled with the last outcome
  Control* undo_prealign = nullptr;       // button "Deshacer" in that panel
  Control* icp = nullptr;                 // button "ICP"
  Control* color_icp = nullptr;           // button "ICP_Color"
  Control* trial_batch = nullptr;         // button "Aleatorio"
  Control* parallel_batch = nullptr;      // checkbox "Paralelo", beside "Aleatorio"
  Control* cancel = nullptr;              // button "Cancelar", shown during a batch
  Control* shown_pose = nullptr;          // radio group of shown_pose
  Control* pose_initial = nullptr;        // radio "INICIAL"
  Control* pose_icp = nullptr;            // radio "ICP"
  Control* pose_color_icp = nullptr;      // radio "ICP_COLOR"
  Control* reset = nullptr;               // button "Reset"
  Control* save = nullptr;                // button "Grabar"
  Control* quit = nullptr;                // button "SALIR"
};
