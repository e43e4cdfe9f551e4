#include "app/Platform.h"

std::vector<FileFilter> mesh_file_filters() {
  return {{"Archivos PLY (*.ply)", "*.ply"},
          {"Archivos WRML (*.wrl)", "*.wrl"},
          {"Archivos OBJ (*.obj)", "*.obj"}};
}

std::vector<FileFilter> trial_file_filters() { return {{"Archivos vkl (*.vkl)", "*.vkl"}}; }
