// How the 3-D view and the loading code plug into the window. The window
// owns its event callbacks and calls these hooks from them; each hook may be
// empty. install_program_hooks() (app/gui/program_hooks.h) is the one place
// that fills them and the panel's actions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/run_preview.h"

struct ViewerHooks {
  // Draws the 3-D part (the GL viewport is already auto_set_viewport()'s
  // area); true when a scan was drawn as its run preview (run_preview.h).
  // Empty: the frame is cleared to white (clear_frame). The window swaps
  // the buffers and flushes standard output afterwards.
  std::function<bool()> display;
  // GLUT mouse event in the 3-D window (buttons 3 and 4 are the wheel);
  // y grows downward from the window's top, as GLUT gives it.
  std::function<void(int button, int state, int x, int y)> mouse;
  // Drag motion in the 3-D window.
  std::function<void(int x, int y)> motion;
  // Last step of start-up, after the panel is built and the command-line
  // meshes are loaded: the view reset.
  std::function<void()> reset_view;
  // The mesh paths given on the command line (zero to two), after the panel
  // is built and before reset_view.
  std::function<void(const std::vector<std::string>& paths)> load_meshes;
  // Called between the steps of a long action (an ICP run, a load): handles
  // the window's pending events (input redraws what it changes), and when
  // `redraw` is set also draws the 3-D view and one frame of the panel (its
  // progress text). Empty without a window.
  std::function<void(bool redraw)> pump_events;
  // A key pressed in either window (GLUT's key code, Ctrl+letter as 1 to 26):
  // the shortcuts.
  std::function<void(unsigned char key)> key;
  // The window is being closed (its close button): called before it goes.
  std::function<void()> closing;
  // Work between window events, called after start_idle_calls()
  // (app/gui/viewer_window.h) until it returns false.
  std::function<bool()> idle;
  // Milliseconds each step of a live run waits before it goes on (0: none).
  // Only the end-to-end test program sets it, so that a run it cancels lasts
  // longer than one event period however fast the machine.
  int step_pause_ms = 0;
  // Scans with more vertices than this are drawn as their preview while a
  // run goes on (run_preview.h). The end-to-end test program lowers it, so
  // its small scans show the preview too.
  size_t preview_above = kPreviewPoints;
  // Whether a single run redraws the window while it goes on (its input is
  // taken either way). Only the benchmark of the window's share of a run
  // turns it off, to time the same run without the redraws.
  bool redraw_during_runs = true;
  // Print "VIEW_FRAME <preview|full> <at> <took> <cpu>" after each frame of
  // the 3-D part: which picture it was, milliseconds since the window
  // opened, milliseconds the frame took (swap included) and milliseconds of
  // the process's CPU time meanwhile. Only the end-to-end test program sets
  // it.
  bool report_frames = false;
};
