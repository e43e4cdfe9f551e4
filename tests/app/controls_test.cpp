// The control layer on small hand-built trees: recursive enabling, what a
// user action does to live variables and callbacks, and sync_live_all.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/controls.h"

namespace {

TEST(Controls, DisableAndEnableReachEveryNestedControl) {
  ControlPanel panel;
  int32_t mode = 0;
  Control* outer = panel.add_panel(nullptr, "outer");
  Control* inner = panel.add_panel(outer, "inner", false);
  Control* button = panel.add_button(inner, "b", 0, nullptr);
  Control* group = panel.add_radio_group(inner, &mode, 0, nullptr);
  Control* radio = panel.add_radio_button(group, "r");
  Control* outside = panel.add_button(nullptr, "x", 0, nullptr);

  outer->disable();
  for (Control* c : {outer, inner, button, group, radio}) EXPECT_FALSE(c->enabled);
  EXPECT_TRUE(outside->enabled);  // siblings of the panel are untouched

  // Enabling one control inside a disabled panel makes only that one usable.
  button->enable();
  EXPECT_TRUE(button->enabled);
  EXPECT_FALSE(inner->enabled);

  outer->enable();
  for (Control* c : {outer, inner, button, group, radio}) EXPECT_TRUE(c->enabled);
}

TEST(Controls, UserActionsWriteLiveVariablesThenCallWithTheId) {
  ControlPanel panel;
  int32_t flag = 0, mode = 0;
  float level = 1.0f;
  std::vector<int> ids;
  std::vector<int32_t> mode_seen_by_callback;
  auto record = [&](int id) { ids.push_back(id); };
  Control* check = panel.add_checkbox(nullptr, "c", &flag, 7, record);
  Control* group = panel.add_radio_group(nullptr, &mode, 4, [&](int id) {
    ids.push_back(id);
    mode_seen_by_callback.push_back(mode);  // the variable is written before the call
  });
  panel.add_radio_button(group, "zero");
  panel.add_radio_button(group, "one");
  Control* two = panel.add_radio_button(group, "two");
  Control* slider = panel.add_float_slider(nullptr, "s", &level, 0.0f, 2.0f, 9, record);
  Control* button = panel.add_button(nullptr, "b", 3, record);

  EXPECT_TRUE(panel.activate(*check, 1));
  EXPECT_EQ(flag, 1);
  EXPECT_TRUE(panel.activate(*two));
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(group->shown_int, 2);
  EXPECT_TRUE(panel.activate(*slider, 0, 5.0f));  // clamped to the high limit
  EXPECT_FLOAT_EQ(level, 2.0f);
  EXPECT_TRUE(panel.activate(*button));
  EXPECT_EQ(ids, (std::vector<int>{7, 4, 9, 3}));
  EXPECT_EQ(mode_seen_by_callback, (std::vector<int32_t>{2}));

  // A value that no radio button has is refused.
  EXPECT_FALSE(panel.activate(*group, 5));
  EXPECT_EQ(mode, 2);
}

TEST(Controls, DisabledControlsIgnoreTheUser) {
  ControlPanel panel;
  int32_t flag = 0, mode = 0;
  int calls = 0;
  auto count = [&](int) { ++calls; };
  Control* check = panel.add_checkbox(nullptr, "c", &flag, 0, count);
  Control* group = panel.add_radio_group(nullptr, &mode, 0, count);
  panel.add_radio_button(group, "zero");
  Control* one = panel.add_radio_button(group, "one");
  Control* button = panel.add_button(nullptr, "b", 0, count);
  int activations = 0;
  panel.set_activation_listener([&](const Control&) { ++activations; });

  check->disable();
  button->disable();
  one->disable();
  EXPECT_FALSE(panel.activate(*check, 1));
  EXPECT_FALSE(panel.activate(*button));
  EXPECT_FALSE(panel.activate(*one));
  // A usable button in a disabled group is still refused.
  one->enable();
  group->disable();
  one->enable();
  EXPECT_FALSE(panel.activate(*one));
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(activations, 0);
}

// The change listener (which asks for a redraw) hears only real changes;
// sync_live_all shows variables changed behind the panel's back.
TEST(Controls, SyncLiveAllShowsChangedVariablesAndReportsOnlyRealChanges) {
  ControlPanel panel;
  int changes = 0;
  int32_t flag = 0, mode = 0;
  float level = 0.5f;
  panel.set_change_listener([&] { ++changes; });
  Control* outer = panel.add_panel(nullptr, "p");
  Control* check = panel.add_checkbox(outer, "c", &flag, -1, nullptr);
  Control* group = panel.add_radio_group(outer, &mode, -1, nullptr);
  panel.add_radio_button(group, "a");
  panel.add_radio_button(group, "b");
  Control* slider = panel.add_float_slider(outer, "s", &level, 0.0f, 1.0f, -1, nullptr);
  outer->disable();
  outer->disable();
  panel.sync_live_all();
  EXPECT_EQ(changes, 1);  // the second disable and the idle sync changed nothing

  flag = 1;
  mode = 1;
  level = 0.75f;
  EXPECT_EQ(check->shown_int, 0);  // nothing changes until the sync
  panel.sync_live_all();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(check->shown_int, 1);
  EXPECT_EQ(group->shown_int, 1);
  EXPECT_FLOAT_EQ(slider->shown_float, 0.75f);
}

}  // namespace
