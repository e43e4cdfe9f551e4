// The control panel's window: a GLUT subwindow docked at the right of the
// 3-D window, with its own GL context in which Dear ImGui draws the
// ControlPanel. User input is turned into ControlPanel::activate() calls,
// applied after each frame is drawn (never in the middle of a frame), so a
// callback may open a modal dialog or change the panel freely. Because the
// panel has its own GL context, the ImGui renderer's changes to GL state
// (client arrays, texture, scissor, matrices) never reach the 3-D view.
#pragma once

#include <functional>
#include <string>

#include "app/controls.h"
#include "app/gui/viewer_window.h"

// The panel's scale (app/panel_scale.h), set once before the panel window
// is created; 1 until then.
void set_panel_scale(float scale);
float panel_scale();

// Width of the panel in pixels: 300 at scale 1.
int panel_width();

// Creates the subwindow inside `main_window` (size main_width x main_height)
// and sets ImGui up in it. `panel` must outlive the window.
void create_panel_window(int main_window, int main_width, int main_height, ControlPanel* panel,
                         const ViewerOptions& options);

// Keeps the panel docked at the right after the 3-D window was resized.
void dock_panel_window(int main_width, int main_height);

// Asks for a redraw of the panel (from any callback), with the few frames
// after it that a changed layout takes to settle.
void post_panel_redisplay();

// Asks for one frame of the panel: new progress text during a long action,
// where the layout stays as it is.
void post_panel_frame();

// With the layout report on (the test program): prints "PANEL_TEXT <text>"
// when `text`, a line the panel draws, differs from the last one reported.
void report_panel_text(const std::string& text);

// True while the panel still has frames to draw for recent input (a click
// needs a frame that sees the press and one that sees the release).
bool panel_settling();

// Draws extra read-only content below the controls (null: nothing). Called
// inside the panel's ImGui window on every panel frame.
void set_panel_extras(std::function<void()> draw);

// Draws the status area at the top of the panel, above the controls, in a
// fixed height of five text lines that stays in place when the controls
// scroll (null: no status area).
void set_panel_status(std::function<void()> draw);

// Called with every key typed over the panel but into a text entry.
void set_panel_shortcuts(std::function<void(unsigned char key)> on_key);

// While `hold` returns true the layout is not reported (ViewerOptions::
// report_layout); the next settled frame after it reports any change.
// The panel's window is gone (with the program's window): nothing is
// asked of it any more.
void forget_panel_window();

void set_panel_report_hold(std::function<bool()> hold);
