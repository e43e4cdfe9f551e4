// The actions behind the panel's buttons and radio groups that belong to
// loading, viewing, alignment, trials and result files. The panel's controls
// call these hooks with their control id at the moment they fire, so an
// action may be installed before or after the panel is built. An empty hook
// makes its control do nothing.
#pragma once

#include <functional>

struct PanelActions {
  std::function<void(int id)> load_mesh;      // " Malla 1 " (0), " Malla 2 " (1)
  std::function<void(int id)> views_changed;  // radio "Superpuestas"/"Separadas" (0)
  std::function<void(int id)> centre;         // "Centrar" (0)
  std::function<void(int id)> load_trial;     // "Cargar Ensayo" (0)
  std::function<void(int id)> prealign;       // "Prealinear" (0)
  std::function<void(int id)> undo_prealign;  // "Deshacer" (0), below it
  std::function<void(int id)> align;          // "ICP" (1), "ICP_Color" (2): the IcpMode
  std::function<void(int id)> trial_batch;    // "Aleatorio" (3)
  std::function<void(int id)> cancel_batch;   // "Cancelar" (0), during a batch
  std::function<void(int id)> pose_shown;     // radio "INICIAL"/"ICP"/"ICP_COLOR" (0)
  std::function<void(int id)> reset;          // "Reset" (0)
  std::function<void(int id)> save;           // "Grabar" (0)
};
