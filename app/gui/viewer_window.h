// The program's window: a 3-D part (the GLUT window) with the control panel
// docked at its right (a GLUT subwindow drawn with Dear ImGui).
#pragma once

#include "app/AppState.h"

struct ViewerOptions {
  // Print every drawn control's centre in 3-D-window pixels once the panel
  // has settled ("CONTROL <n> <kind> "<label>" <x> <y> <enabled>" lines and
  // then "PANEL_READY"), and again whenever a control was shown, hidden,
  // enabled or disabled, so end-to-end tests can click controls.
  bool report_layout = false;
  // Print "ACTIVATED <kind> "<label>" id=<id>" after every panel action
  // (a slider adds " value=<value>", three decimals).
  bool echo_activations = false;
};

// Runs the program: checks for a display (without one prints one line saying
// so and returns 1), opens the window "Varkel's ICP" (1024 x 900 times the
// panel's scale, choose_panel_scale, within the screen, at (50, 50); its
// title naming the loaded files once there are any, window_title(),
// double-buffered RGBA with depth), builds the panel, disables what has no
// data, loads the command-line meshes (at most two paths after GLUT's own
// options; more is a usage error, status 1), runs the reset-view hook and
// the event loop. Returns 0 when the window is closed (ViewerHooks::closing
// first: a running batch ends as "Cancelar" ends it); "SALIR" answered Yes
// ends the process with status 0 from inside the loop.
// `app` is the run's context (its `dialogs` set by the caller); the window's
// hooks and the panel's actions are installed into it here.
int run_viewer(AppState& app, int argc, char** argv, const ViewerOptions& options);

struct ViewportRect {
  int x = 0, y = 0, width = 0, height = 0;  // GL window coordinates (origin bottom left)
};

// Sets the GL viewport of the 3-D window to the part the panel does not
// cover and returns it. Call with the 3-D window's context current.
ViewportRect auto_set_viewport();

// The 3-D window's GLUT id (0 before it exists).
int main_window_id();

// The 3-D window's X11 window id (0 before it exists), so dialogs can stay
// on top of it.
unsigned long main_x_window();

// Calls the context's viewer.idle hook whenever no event waits, until it
// returns false (or is empty).
void start_idle_calls();

// Asks for a redraw of the 3-D part (from any callback).
void post_main_redisplay();
