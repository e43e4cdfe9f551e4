// The panel's own small callbacks.
#pragma once

#include "app/AppState.h"

// "Luz" of mesh `id` (0 or 1) was toggled: that mesh's "Brillo" becomes
// usable when its lighting is on and unusable when it is off; "Brillo"'s
// value is kept either way. Other ids do nothing.
void light_toggled(AppState& app, int id);

// "SALIR": asks the quit question (title "Salir", Yes/No, No by default).
// Yes ends the process at once with exit status 0, without freeing the
// meshes; No returns and changes nothing.
void quit_requested(AppState& app);
