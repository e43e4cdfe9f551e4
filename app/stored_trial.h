// "Cargar Ensayo": brings back a stored result set. The user picks a summary
// (".vkl"); its two mesh paths are read (whole lines, so blanks survive), the
// three pose files beside it are read, both meshes are loaded again (asking
// the user to locate a mesh that has moved), and mesh 2 is shown at the
// stored start pose with both stored results selectable (a result saved as
// not run stays unselectable), and the panel's captions show the summary's
// two errors.
#pragma once

#include "app/AppState.h"

// True when the stored trial is shown. Every failure before the meshes are
// touched (cancelled dialog, unreadable or short summary, a summary path
// whose file name has no ".", a missing pose file) changes nothing; every
// later failure puts both slots back exactly as they were, with the stage,
// the appearance, the shown results and the usable controls.
bool load_trial(AppState& app);

// The button: load_trial, printing "imposible cargar el ensayo almacenado\n"
// on standard output when it fails.
void load_trial_button(AppState& app);
