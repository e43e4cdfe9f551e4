// Plugs loading, the 3-D view and the mouse into the window: the display,
// mouse, motion, reset-view and command-line-mesh hooks, and the panel
// actions " Malla 1 "/" Malla 2 ", "Superpuestas"/"Separadas", "Centrar"
// and "Reset".
#pragma once

void install_viewing_hooks();
