// icp_viewer [MESH1 [MESH2]]: the program, with the desktop dialogs.
#include "app/AppState.h"
#include "app/gui/DesktopPlatform.h"
#include "app/gui/viewer_window.h"

int main(int argc, char** argv) {
  // Static: "SALIR" ends the process from inside the event loop.
  static DesktopPlatform desktop;
  static AppState app;
  app.dialogs = &desktop;
  return run_viewer(app, argc, argv, ViewerOptions());
}
