#include <GL/freeglut.h>

#include "app/alignment_actions.h"
#include "app/gui/comparison_view.h"
#include "app/gui/panel_view.h"
#include "app/gui/viewer_hooks.h"
#include "app/gui/viewer_window.h"
#include "app/gui/viewing_hooks.h"
#include "app/panel_actions.h"

namespace {

// Runs `action`, then redraws the panel so the comparison below the
// controls shows the new histories and counts.
std::function<void(int)> with_panel_redraw(std::function<void(int)> action) {
  return [action](int id) {
    if (action) action(id);
    post_panel_redisplay();
  };
}

// Between window events: one ICP run of the trial batch, then both windows
// are redrawn, so the view shows mesh 2 at its new start or result and the
// panel the progress. A run waits while the panel is still answering input,
// so a click on "Cancelar" is seen within one run. Unregisters itself when
// the batch has ended.
void batch_idle() {
  if (panel_settling()) return;
  bool running = advance_trial_batch();
  post_main_redisplay();
  post_panel_redisplay();
  if (!running) glutIdleFunc(nullptr);
}

}  // namespace

// Every hook and panel action of the program, installed before the window opens.
void install_program_hooks() {
  install_viewing_hooks();
  install_result_actions();
  PanelActions& actions = panel_actions();
  actions.align = with_panel_redraw(actions.align);
  actions.trial_batch = with_panel_redraw([](int) {
    if (start_trial_batch(app_state())) glutIdleFunc(batch_idle);
  });
  set_panel_extras(draw_comparison);
}
