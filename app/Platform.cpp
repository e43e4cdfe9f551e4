#include "app/Platform.h"

#include "app/ScriptedPlatform.h"

namespace {

Platform* g_platform = nullptr;

Platform& default_platform() {
  static ScriptedPlatform quiet;  // no answers: cancel and No
  return quiet;
}

}  // namespace

Platform& platform() { return g_platform ? *g_platform : default_platform(); }

void set_platform(Platform* p) { g_platform = p; }

double elapsed_seconds(int64_t start, int64_t end, int64_t frequency) {
  if (frequency <= 0) return 1.0;
  return static_cast<double>(end - start) / static_cast<double>(frequency);
}

std::vector<FileFilter> mesh_file_filters() {
  return {{"Archivos PLY (*.ply)", "*.ply"},
          {"Archivos WRML (*.wrl)", "*.wrl"},
          {"Archivos OBJ (*.obj)", "*.obj"}};
}

std::vector<FileFilter> trial_file_filters() { return {{"Archivos vkl (*.vkl)", "*.vkl"}}; }
