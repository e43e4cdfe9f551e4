#include "app/Platform.h"

const char* const kOpenMeshTitle[2] = {"Abrir malla 1 (fija)", "Abrir malla 2 (m\xF3vil)"};
const char* const kOpenTrialTitle = "Abrir ensayo guardado (.vkl)";
const char* const kSaveResultsTitle = "Grabar resultados (.vkl)";
const char* const kSaveBatchTitle = "Registro de los ensayos de Aleatorio (.txt)";

std::vector<FileFilter> mesh_file_filters() {
  return {{"Archivos PLY (*.ply)", "*.ply"},
          {"Archivos WRML (*.wrl)", "*.wrl"},
          {"Archivos OBJ (*.obj)", "*.obj"},
          {"Nubes de puntos (*.pcd *.xyz *.xyzn *.xyzrgb *.pts)", "*.pcd;*.xyz;*.xyzn;*.xyzrgb;*.pts"}};
}

std::vector<FileFilter> trial_file_filters() { return {{"Archivos vkl (*.vkl)", "*.vkl"}}; }
