// Loading a mesh into one of the two slots and setting the scene up around it
// (" Malla 1 ", " Malla 2 ", the meshes named on the command line, and the
// reload of a stored trial's meshes). Controls are reached through
// app.controls (a null handle, before the panel exists, is skipped) and the
// dialog through app.platform().
#pragma once

#include <string>
#include <vector>

#include "app/AppState.h"

// Text printed on standard output when a load button's load fails.
extern const char* const kLoadFailedMessage;  // "Imposible cargar la malla seleccionada\n"

// which: 0 = mesh 1 from the open dialog, 1 = mesh 2 from the dialog,
// 2 = mesh 1 from slots[0].stored_name, 3 = mesh 2 from slots[1].stored_name.
// A cancelled dialog (or another `which`) returns false with nothing changed.
// Otherwise the slot is cleared and the scan read (registration/load_scan.h:
// mesh, pose from the ".xf" beside it or the identity, derived data,
// curvature scale). With a window (app.viewer.pump_events) the read runs on
// a second thread while the window keeps drawing: app.loading is set, the
// panel is locked (no "Cancelar": a read cannot be stopped) and the status
// area says "Cargando malla N: NAME ...", the view shows the slots as they
// were until the read ends. A failed read returns false with that slot empty, the
// stage and controls as before, the view spheres and transforms rebuilt
// without it (refresh_view_spheres) and the panel refreshed. On success: load_stage advances (a reload of
// mesh 1 keeps stage 2), the controls that now have data are enabled, a
// colourless mesh gets "Color blanco" with its "Color real" and "Color
// Significativo" disabled, "ICP_Color" and "Aleatorio" are usable only while
// both loaded meshes have colours, the view spheres and transforms are
// rebuilt (a mesh 2 load leaves mesh 1's split view alone) and the panel is
// refreshed. Either way the results shown so far (both variants' records,
// the last batch, a stored trial's errors) are forgotten and
// apply_data_rules runs.
bool load_mesh(AppState& app, int which);

// The enable rules that follow the slots' data: an empty slot's appearance
// panel is unusable ("Geometria" too when both are empty); with either slot
// empty "Prealinear", "ICP", "ICP_Color", "Aleatorio", "Mover malla2" and the
// pose group are unusable; with both loaded "Prealinear", "ICP" and
// "INICIAL" are usable, "Mover malla2" in the overlapped view, "ICP_Color"
// and "Aleatorio" when both meshes have colours.
void apply_data_rules(AppState& app);

// The same with the path given, as if chosen in the dialog (which 0 or 1).
bool load_mesh_path(AppState& app, int which, const std::string& path);

// Load button callback (id 0 = " Malla 1 ", 1 = " Malla 2 "): load_mesh(id),
// printing kLoadFailedMessage on standard output on failure. A new mesh, or
// a mesh lost by a failed read, makes the runs so far stale: forget_runs.
void load_button(AppState& app, int id);

// The meshes named on the command line (at most two: mesh 1, then mesh 2),
// loaded one after the other as if chosen in the dialogs; a path that fails
// prints kLoadFailedMessage like the button does.
void load_command_line_meshes(AppState& app, const std::vector<std::string>& paths);
