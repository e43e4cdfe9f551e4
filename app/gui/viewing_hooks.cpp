#include "app/gui/viewing_hooks.h"

#include <GL/freeglut.h>

#include "app/AppState.h"
#include "app/control_handles.h"
#include "app/load_mesh.h"
#include "app/mouse_input.h"
#include "app/panel_actions.h"
#include "app/view_setup.h"
#include "app/gui/draw_scene.h"
#include "app/gui/gl_camera_device.h"
#include "app/gui/viewer_hooks.h"
#include "app/gui/viewer_window.h"

namespace {

GlCameraDevice& camera_device() {
  static GlCameraDevice device;
  return device;
}

ButtonMask g_buttons;

// After any mouse event: redraw the view and show changed live variables.
void after_mouse() {
  post_main_redisplay();
  sync_live_all();
}

}  // namespace

void install_viewing_hooks() {
  set_display_hook([] { draw_scene(app_state(), camera_device()); });
  set_mouse_hook([](int button, int state, int x, int y) {
    mouse_button(app_state(), camera_device(), g_buttons, button, state == GLUT_DOWN, x, y);
    after_mouse();
  });
  set_motion_hook([](int x, int y) {
    mouse_motion(app_state(), camera_device(), g_buttons, x, y);
    after_mouse();
  });
  set_reset_view_hook([] { reset_view(app_state()); });
  set_load_meshes_hook(
      [](const std::vector<std::string>& paths) { load_command_line_meshes(app_state(), paths); });

  PanelActions& actions = panel_actions();
  actions.load_mesh = [](int id) { load_button(id); };
  actions.views_changed = [](int) { views_changed(app_state()); };
  actions.centre = [](int) { centre_view(app_state()); };
  actions.reset = [](int) { reset_view(app_state()); };
}
