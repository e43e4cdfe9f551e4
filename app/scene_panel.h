// ScenePanel: what loading and scene set-up need from the control panel and
// the platform: the mesh open dialog, enabling and disabling the controls
// they govern, and refreshing every control from its live variable. The
// window layer implements it over its control handles and platform; tests
// implement it with a record of control states.
#pragma once

#include <string>

// The controls loading and scene set-up enable or disable. A panel entry
// (kAppearance1, kAppearance2, kGeometry) stands for the panel and every
// control inside it.
enum class SceneControl {
  kLoadMesh2,       // " Malla 2 "
  kOverlapped,      // radio "Superpuestas"
  kSplit,           // radio "Separadas"
  kMoveMesh2,       // "Mover malla2"
  kAppearance1,     // panel "Apariencia Malla1"
  kColorReal1,      // mesh 1 "Color real"
  kColorSignificant1,  // mesh 1 "Color Significativo"
  kTolerance1,      // mesh 1 "tolerancia"
  kAppearance2,     // panel "Apariencia Malla2"
  kColorReal2,
  kColorSignificant2,
  kTolerance2,
  kGeometry,        // panel "Geometria"
  kIcp,             // button "ICP"
  kIcpColor,        // button "ICP_Color"
  kTrials,          // button "Aleatorio"
  kShowInitial,     // radio "INICIAL"
  kShowIcp,         // radio "ICP"
  kShowIcpColor,    // radio "ICP_COLOR"
  kReset,           // button "Reset"
  kCount
};

// One entry of an open dialog's filter list.
struct FileFilter {
  const char* description;
  const char* pattern;
};

class ScenePanel {
 public:
  virtual ~ScenePanel() = default;
  // Modal open dialog (file must exist) with `filters`, the first selected.
  // False when cancelled; `path` is then unchanged.
  virtual bool open_file(const FileFilter* filters, int filter_count, std::string& path) = 0;
  virtual void set_enabled(SceneControl control, bool enabled) = 0;
  // Every control shows its live variable again.
  virtual void sync_live_all() = 0;
};
