// Loading a mesh into one of the two slots and setting the scene up around it
// (" Malla 1 ", " Malla 2 ", and the reload of a stored trial's meshes).
#pragma once

#include <string>

#include "app/AppState.h"
#include "app/scene_panel.h"

// Filter list of the mesh open dialog, first entry selected:
// PLY, then WRL, then OBJ.
extern const FileFilter kMeshFileFilters[3];

// Text printed on standard output when a load button's load fails.
extern const char* const kLoadFailedMessage;

// Reads `path` into `slot` (cleared first, index = k): the mesh, its pose from
// the ".xf" beside it (identity when the file name has no "." or the pose file
// cannot be read), then normals, triangle strips, bounding sphere,
// curvatures, curvature derivatives and neighbours, in that order; marks the
// slot loaded and samples its curvature scale. False (slot left empty) when
// no mesh could be read.
bool read_scan_into_slot(MeshSlot& slot, int k, const std::string& path);

// which: 0 = mesh 1 from the dialog, 1 = mesh 2 from the dialog, 2 = mesh 1
// from slots[0].stored_name, 3 = mesh 2 from slots[1].stored_name.
// A cancelled dialog returns false with nothing changed; a failed read returns
// false with that slot empty and the stage and controls as before. On success
// advances load_stage, enables the controls that now have data, applies the
// colour rule (a colourless mesh gets "Color blanco", its other colour modes
// disabled), enables "ICP_Color"/"Aleatorio" only when both meshes have
// colours, rebuilds the view spheres and transforms, and refreshes the panel.
bool load_mesh(AppState& app, ScenePanel& panel, int which);

// Same, with the path given (as if chosen in the dialog); which is 0 or 1.
// Used for the meshes named on the command line.
bool load_mesh_path(AppState& app, ScenePanel& panel, int which, const std::string& path);

// Load button callback (id 0 = " Malla 1 ", 1 = " Malla 2 "): load_mesh(id),
// printing kLoadFailedMessage on standard output when it returns false.
void load_button(AppState& app, ScenePanel& panel, int id);
