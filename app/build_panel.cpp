#include "app/build_panel.h"

#include "app/panel_actions.h"
#include "app/panel_callbacks.h"

namespace {

using ActionMember = std::function<void(int)> PanelActions::*;

// A callback that runs one of state.actions' hooks, looked up when the
// control fires, so actions may be installed after the panel is built.
ControlCallback action(AppState& state, ActionMember member) {
  return [&state, member](int id) {
    const std::function<void(int)>& hook = state.actions.*member;
    if (hook) hook(id);
  };
}

// "Apariencia Malla1"/"Apariencia Malla2": appearance of mesh k in `parent`.
void build_appearance_panel(ControlPanel& panel, Control* parent, AppState& state, int k,
                            ControlHandles* h) {
  MeshSlot& slot = *state.aligner->slots[k];
  SlotAppearance& look = state.appearance[k];
  Control* p = panel.add_panel(parent, k == 0 ? "Apariencia Malla1" : "Apariencia Malla2");
  h->appearance[k] = p;
  h->brightness[k] = panel.add_checkbox(p, "Brillo", &look.brightness, -1, nullptr);
  h->lighting[k] = panel.add_checkbox(p, "Luz", &look.lighting, k,
                                   [&state](int id) { light_toggled(state, id); });
  h->two_sided[k] = panel.add_checkbox(p, "Ver ambas caras", &look.two_sided, -1, nullptr);
  h->wireframe[k] = panel.add_checkbox(p, "Ver mallado", &look.wireframe, -1, nullptr);
  h->color_mode[k] = panel.add_radio_group(p, &slot.color_mode, -1, nullptr);
  h->color_white[k] = panel.add_radio_button(h->color_mode[k], "Color blanco");
  h->color_real[k] = panel.add_radio_button(h->color_mode[k], "Color real");
  h->color_significant[k] = panel.add_radio_button(h->color_mode[k], "Color Significativo");
  h->tolerance[k] =
      panel.add_float_slider(p, "tolerancia", &slot.color_tolerance, 0.0f, 20.0f, -1, nullptr);
}

}  // namespace

void build_control_panel(ControlPanel& panel, AppState& state) {
  ControlHandles* h = &state.controls;
  *h = ControlHandles();
  h->panel = &panel;
  ViewOptions& options = *state.view_options;

  Control* files = panel.add_panel(nullptr, "Cargar Ficheros");
  h->load_mesh[0] = panel.add_button(files, " Malla 1 ", 0, action(state, &PanelActions::load_mesh));
  panel.add_column(files, false);
  h->load_mesh[1] = panel.add_button(files, " Malla 2 ", 1, action(state, &PanelActions::load_mesh));

  Control* views = panel.add_panel(nullptr, "Vistas");
  h->views = panel.add_radio_group(views, &options.views_mode, 0,
                                   action(state, &PanelActions::views_changed));
  h->overlapped = panel.add_radio_button(h->views, "Superpuestas");
  h->split = panel.add_radio_button(h->views, "Separadas");
  panel.add_column(views, true);
  h->move_mesh2 = panel.add_checkbox(views, "Mover malla2", &options.move_mesh2, -1, nullptr);
  h->centre = panel.add_button(views, "Centrar", 0, action(state, &PanelActions::centre));

  h->load_trial =
      panel.add_button(nullptr, "Cargar Ensayo", 0, action(state, &PanelActions::load_trial));

  Control* outer = panel.add_panel(nullptr, "", false);
  Control* inner = panel.add_panel(outer, "", false);
  build_appearance_panel(panel, inner, state, 0, h);
  build_appearance_panel(panel, inner, state, 1, h);

  h->geometry = panel.add_panel(nullptr, "Geometria");
  h->ridges = panel.add_checkbox(h->geometry, "Crestas", &options.show_ridges, -1, nullptr);
  h->valleys = panel.add_checkbox(h->geometry, "Valles", &options.show_valleys, -1, nullptr);
  panel.add_column(h->geometry, false);
  // The new threshold takes effect at the next redraw, so no callback.
  h->ridge_threshold = panel.add_float_slider(h->geometry, "Umbral", &options.ridge_threshold,
                                              0.0f, 0.5f, 0, nullptr);

  h->icp_panel = panel.add_panel(nullptr, "ICP");
  h->prealign = panel.add_button(h->icp_panel, "Prealinear", 0, action(state, &PanelActions::prealign));
  // Shown after the first prealignment; its label tells the outcome
  // (alignment_actions.h).
  h->prealign_outcome = panel.add_panel(h->icp_panel, "");
  h->prealign_outcome->visible = false;
  h->undo_prealign = panel.add_button(h->prealign_outcome, "Deshacer", 0,
                                      action(state, &PanelActions::undo_prealign));
  h->icp = panel.add_button(h->icp_panel, "ICP", int(IcpMode::geometric),
                            action(state, &PanelActions::align));
  h->color_icp = panel.add_button(h->icp_panel, "ICP_Color", int(IcpMode::color),
                                  action(state, &PanelActions::align));
  h->trial_batch =
      panel.add_button(h->icp_panel, "Aleatorio", 3, action(state, &PanelActions::trial_batch));
  h->parallel_batch =
      panel.add_checkbox(h->icp_panel, "Paralelo", &state.parallel_batch, -1, nullptr);
  // Shown only while a batch runs (alignment_actions.h).
  h->cancel =
      panel.add_button(h->icp_panel, "Cancelar", 0, action(state, &PanelActions::cancel_batch));
  h->cancel->visible = false;
  h->shown_pose =
      panel.add_radio_group(h->icp_panel, &state.shown_pose, 0, action(state, &PanelActions::pose_shown));
  h->pose_initial = panel.add_radio_button(h->shown_pose, "INICIAL");
  h->pose_icp = panel.add_radio_button(h->shown_pose, "ICP");
  h->pose_color_icp = panel.add_radio_button(h->shown_pose, "ICP_COLOR");

  panel.add_separator(nullptr);
  h->reset = panel.add_button(nullptr, "Reset", 0, action(state, &PanelActions::reset));
  h->save = panel.add_button(nullptr, "Grabar", 0, action(state, &PanelActions::save));
  h->quit = panel.add_button(nullptr, "SALIR", 0, [&state](int) { quit_requested(state); });

  disable_controls_without_data(*h);
}

void disable_controls_without_data(const ControlHandles& h) {
  h.load_mesh[1]->disable();
  h.overlapped->disable();
  h.split->disable();
  h.move_mesh2->disable();
  for (int k = 0; k < 2; ++k) {
    h.appearance[k]->disable();
    h.color_real[k]->disable();
    h.color_significant[k]->disable();
    h.tolerance[k]->disable();
  }
  h.geometry->disable();
  h.prealign->disable();
  h.undo_prealign->disable();
  h.icp->disable();
  h.color_icp->disable();
  h.trial_batch->disable();  // needs both meshes
  h.pose_initial->disable();
  h.pose_icp->disable();
  h.pose_color_icp->disable();
  h.reset->disable();
  h.save->disable();
  h.cancel->disable();  // usable only while a batch runs
}
