// icp_viewer [MESH1 [MESH2]]: the program, with the desktop dialogs.
#include "app/Platform.h"
#include "app/gui/DesktopPlatform.h"
#include "app/gui/viewer_window.h"

int main(int argc, char** argv) {
  static DesktopPlatform desktop;
  set_platform(&desktop);
  return run_viewer(argc, argv, ViewerOptions());
}
