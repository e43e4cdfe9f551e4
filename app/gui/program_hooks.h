// The one place where the program is wired: the window's hooks (display,
// mouse, motion, command-line meshes, view reset) and every panel action,
// all installed into the application context before the window opens.
#pragma once

#include "app/AppState.h"

// Fills app.viewer and app.actions and sets the panel's extra content (the
// comparison of the two variants). `app` must outlive the window.
void install_program_hooks(AppState& app);
