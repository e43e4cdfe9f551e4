#include "app/alignment_actions.h"
#include "app/gui/comparison_view.h"
#include "app/gui/panel_view.h"
#include "app/gui/viewer_hooks.h"
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

}  // namespace

// Every hook and panel action of the program, installed before the window opens.
void install_program_hooks() {
  install_viewing_hooks();
  install_result_actions();
  PanelActions& actions = panel_actions();
  actions.align = with_panel_redraw(actions.align);
  actions.trial_batch = with_panel_redraw(actions.trial_batch);
  set_panel_extras(draw_comparison);
}
