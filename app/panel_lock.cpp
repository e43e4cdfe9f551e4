#include "app/panel_lock.h"

EnabledFlags lock_panel(AppState& app, bool cancellable) {
  const ControlHandles& h = app.controls;
  EnabledFlags before;
  if (!h.panel) return before;
  for (Control* c : h.panel->all_controls()) before.emplace_back(c, c->enabled);
  h.panel->root().disable();
  if (cancellable && h.cancel) {
    h.cancel->set_visible(true);
    h.cancel->enable();
  }
  return before;
}

void unlock_panel(AppState& app, EnabledFlags& before) {
  const ControlHandles& h = app.controls;
  for (auto& [control, enabled] : before) control->enabled = enabled;
  before.clear();
  if (h.cancel) h.cancel->set_visible(false);
  if (h.panel) h.panel->notify_changed();
}
