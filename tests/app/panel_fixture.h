// A fresh global state with the program's panel built on it, as start-up
// leaves it, and a scripted platform installed; undone after each test.
#pragma once

#include <gtest/gtest.h>

#include "app/AppState.h"
#include "app/Platform.h"
#include "app/ScriptedPlatform.h"
#include "app/build_panel.h"
#include "app/control_handles.h"
#include "app/panel_actions.h"

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_app_state();
    panel_actions() = PanelActions();
    set_platform(&scripted);
    build_control_panel(panel, app_state(), &control_handles());
  }
  void TearDown() override {
    control_handles() = ControlHandles();
    panel_actions() = PanelActions();
    set_platform(nullptr);
  }

  const ControlHandles& h() const { return control_handles(); }
  MeshSlot& slot(int k) { return *app_state().aligner->slots[k]; }

  ScriptedPlatform scripted;
  ControlPanel panel;
};
