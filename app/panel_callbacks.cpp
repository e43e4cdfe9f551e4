#include "app/panel_callbacks.h"

#include <cstdio>
#include <cstdlib>

#include "app/AppState.h"
#include "app/Platform.h"
#include "app/control_handles.h"
#include "app/texts.h"

void light_toggled(int id) {
  if (id != 0 && id != 1) return;
  Control* brightness = control_handles().brightness[id];
  if (!brightness) return;
  brightness->set_enabled(app_state().aligner->slots[id]->lighting != 0);
}

void quit_requested(int) {
  if (!platform().ask_yes_no(kQuitTitle, {kQuitQuestion, "", ""})) return;
  std::fflush(stdout);
  std::exit(0);
}

void key_pressed() { sync_live_all(); }
