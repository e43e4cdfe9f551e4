#include "app/AppState.h"

namespace {

// Created by dynamic initialisation before main; app_state() also creates it
// when another static initialiser asks first.
AppState* g_app_state = nullptr;
[[maybe_unused]] const bool g_app_state_ready = (app_state(), true);

}  // namespace

AppState& app_state() {
  if (!g_app_state) g_app_state = new AppState();
  return *g_app_state;
}

void reset_app_state() {
  delete g_app_state;
  g_app_state = new AppState();
}
