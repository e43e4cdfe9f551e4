#include "app/panel_callbacks.h"

#include <cstdio>
#include <cstdlib>

#include "app/AppState.h"
#include "app/texts.h"

void light_toggled(AppState& app, int id) {
  if (id != 0 && id != 1) return;
  Control* brightness = app.controls.brightness[id];
  if (!brightness) return;
  brightness->set_enabled(app.appearance[id].lighting != 0);
}

void quit_requested(AppState& app) {
  if (!app.platform().ask_yes_no(kQuitTitle, {kQuitQuestion, "", ""})) return;
  std::fflush(stdout);
  std::exit(0);
}
