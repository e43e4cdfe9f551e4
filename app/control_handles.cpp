#include "app/control_handles.h"

ControlHandles& control_handles() {
  static ControlHandles handles;
  return handles;
}

void sync_live_all() {
  if (ControlPanel* panel = control_handles().panel) panel->sync_live_all();
}
