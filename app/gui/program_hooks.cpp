#include "app/gui/program_hooks.h"

#include <GL/freeglut.h>

#include <memory>

#include "app/alignment_actions.h"
#include "app/load_mesh.h"
#include "app/mouse_input.h"
#include "app/stored_trial.h"
#include "app/view_setup.h"
#include "app/gui/comparison_view.h"
#include "app/gui/draw_scene.h"
#include "app/gui/gl_camera_device.h"
#include "app/gui/panel_view.h"
#include "app/gui/status_view.h"
#include "app/gui/viewer_window.h"

namespace {

// Between window events: one ICP run of the trial batch, then both windows
// are redrawn, so the view shows mesh 2 at its new start or result and the
// panel the progress. A run waits while the panel is still answering input,
// so a click on "Cancelar" is seen within one run. False once the batch has
// ended, which stops the idle calls.
bool batch_idle(AppState& app) {
  if (panel_settling()) return true;
  bool running = advance_trial_batch(app);
  post_main_redisplay();
  post_panel_redisplay();
  return running;
}

// The window's GL state and the mouse buttons held, shared by the hooks for
// the life of the run.
struct WindowInput {
  GlCameraDevice device;
  ButtonMask buttons;
};

// The keyboard shortcuts, each as a press of its control, so a control that
// is unusable now ignores its key too: Esc "Cancelar", c "Centrar", 1 and 2
// " Malla 1 " and " Malla 2 ", Ctrl+S "Grabar".
void shortcut(AppState& app, unsigned char key) {
  const ControlHandles& h = app.controls;
  const unsigned char kEscape = 27, kCtrlS = 19;
  Control* control = key == kEscape ? h.cancel
                     : key == 'c'   ? h.centre
                     : key == '1'   ? h.load_mesh[0]
                     : key == '2'   ? h.load_mesh[1]
                     : key == kCtrlS ? h.save
                                     : nullptr;
  if (control && h.panel) h.panel->activate(*control);
  app.sync_live_all();
}

}  // namespace

void install_program_hooks(AppState& app) {
  auto input = std::make_shared<WindowInput>();
  // After any mouse event: redraw the view and show changed live variables.
  auto after_mouse = [&app] {
    post_main_redisplay();
    app.sync_live_all();
  };

  ViewerHooks& viewer = app.viewer;
  viewer.display = [&app, input] { return draw_scene(app, input->device); };
  // While a single run or a load goes on the view takes no mouse input: a
  // drag made then would otherwise be applied after it.
  viewer.mouse = [&app, input, after_mouse](int button, int state, int x, int y) {
    if (app.run_active || app.loading) return;
    mouse_button(app, input->device, input->buttons, button, state == GLUT_DOWN, x, y);
    after_mouse();
  };
  viewer.motion = [&app, input, after_mouse](int x, int y) {
    if (app.run_active || app.loading) return;
    mouse_motion(app, input->device, input->buttons, x, y);
    after_mouse();
  };
  viewer.idle = [&app] { return batch_idle(app); };
  viewer.pump_events = [](bool redraw) {
    if (redraw) {
      post_main_redisplay();
      post_panel_frame();
    }
    glutMainLoopEvent();
  };
  viewer.key = [&app](unsigned char key) { shortcut(app, key); };
  viewer.closing = [&app] { close_action(app); };
  viewer.reset_view = [&app] { reset_view(app); };
  viewer.load_meshes = [&app](const std::vector<std::string>& paths) {
    load_command_line_meshes(app, paths);
    // The window was drawn while the scans were read: draw it with them.
    post_main_redisplay();
  };

  // The runs and the batch also redraw the panel, so the comparison below
  // the controls shows the new histories and counts.
  PanelActions& actions = app.actions;
  actions.load_mesh = [&app](int id) { load_button(app, id); };
  actions.views_changed = [&app](int) { views_changed(app); };
  actions.centre = [&app](int) { centre_view(app); };
  actions.reset = [&app](int) { reset_view(app); };
  actions.prealign = [&app](int) { prealign_action(app); };
  actions.undo_prealign = [&app](int) { undo_prealign_action(app); };
  actions.align = [&app](int id) {
    align_action(app, IcpMode(id));
    post_panel_redisplay();
  };
  actions.trial_batch = [&app](int) {
    if (start_trial_batch(app)) start_idle_calls();
    post_panel_redisplay();
  };
  actions.cancel_batch = [&app](int) { cancel_action(app); };
  actions.pose_shown = [&app](int) { pose_shown_action(app); };
  actions.save = [&app](int) { save_results(app); };
  actions.load_trial = [&app](int) { load_trial_button(app); };
  set_panel_extras([&app] { draw_comparison(app); });
  set_panel_status([&app] { draw_status(app); });
  set_panel_shortcuts([&app](unsigned char key) { shortcut(app, key); });
  // A load locks the panel only for a moment: its layout is not worth a
  // report, and a test reading the last report then sees the panel after it.
  set_panel_report_hold([&app] { return app.loading; });
}
