#include "app/panel_actions.h"

PanelActions& panel_actions() {
  static PanelActions actions;
  return actions;
}
