// Builds the program's control panel: every control, top to bottom, with
// its label, kind, live variable, limits, id and callback, and the
// start-up enable state.
#pragma once

#include "app/AppState.h"
#include "app/control_handles.h"
#include "app/controls.h"

// Appends the whole panel to `panel` (which should be empty), with live
// variables in `state`, stores the handles in state.controls (panel
// included) and then disables what has no data yet
// (disable_controls_without_data). Callbacks: the panel's own
// (light_toggled, quit_requested) and the hooks of state.actions, looked up
// when a control fires. `state` must outlive the panel.
void build_control_panel(ControlPanel& panel, AppState& state);

// The start-up enable state: only " Malla 1 ", "Centrar", "Cargar Ensayo"
// and "SALIR" (and the panels that hold them) stay usable.
void disable_controls_without_data(const ControlHandles& handles);
