#include "app/gui/viewer_hooks.h"

ViewerHooks& viewer_hooks() {
  static ViewerHooks hooks;
  return hooks;
}

void set_display_hook(std::function<void()> hook) { viewer_hooks().display = std::move(hook); }

void set_mouse_hook(std::function<void(int, int, int, int)> hook) {
  viewer_hooks().mouse = std::move(hook);
}

void set_motion_hook(std::function<void(int, int)> hook) {
  viewer_hooks().motion = std::move(hook);
}

void set_reset_view_hook(std::function<void()> hook) {
  viewer_hooks().reset_view = std::move(hook);
}

void set_load_meshes_hook(std::function<void(const std::vector<std::string>&)> hook) {
  viewer_hooks().load_meshes = std::move(hook);
}
