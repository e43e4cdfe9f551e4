// The panel's callbacks as wired by start-up: ids reaching the actions,
// "Luz" and "Brillo", and the quit question.
#include <string>
#include <utility>
#include <vector>

#include "app/panel_callbacks.h"
#include "app/texts.h"
#include "support.h"

namespace {

using CallbacksTest = PanelTest;

TEST_F(CallbacksTest, EachActionReceivesItsControlsId) {
  std::vector<std::pair<std::string, int>> calls;
  auto hook = [&](const char* name) {
    return [&calls, name](int id) { calls.emplace_back(name, id); };
  };
  PanelActions& a = app.actions;
  a.load_mesh = hook("load");
  a.views_changed = hook("views");
  a.centre = hook("centre");
  a.load_trial = hook("trial");
  a.prealign = hook("prealign");
  a.align = hook("align");
  a.trial_batch = hook("batch");
  a.pose_shown = hook("pose");
  a.reset = hook("reset");
  a.save = hook("save");
  // Make every control usable, as after a full load and both alignments.
  panel.root().enable();

  const ControlHandles& c = h();
  for (Control* control : {c.load_mesh[0], c.load_mesh[1], c.centre, c.load_trial, c.prealign,
                           c.icp, c.color_icp, c.trial_batch, c.reset, c.save})
    EXPECT_TRUE(panel.activate(*control));
  EXPECT_TRUE(panel.activate(*c.split));
  EXPECT_TRUE(panel.activate(*c.pose_icp));

  std::vector<std::pair<std::string, int>> expected = {
      {"load", 0},  {"load", 1},  {"centre", 0}, {"trial", 0}, {"prealign", 0}, {"align", 1}, {"align", 2},
      {"batch", 3}, {"reset", 0}, {"save", 0},   {"views", 0}, {"pose", 0}};
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(app.view_options->views_mode, 1);
  EXPECT_EQ(app.shown_pose, 1);
}

TEST_F(CallbacksTest, ActionsWithoutHooksDoNothingAndAreInstalledLate) {
  Control& centre = *h().centre;
  EXPECT_TRUE(panel.activate(centre));  // no hook yet: harmless
  int seen = -1;
  app.actions.centre = [&](int id) { seen = id; };  // after the panel was built
  EXPECT_TRUE(panel.activate(centre));
  EXPECT_EQ(seen, 0);
}

TEST_F(CallbacksTest, LightOffGreysOutThatMeshsBrightnessAndKeepsItsValue) {
  h().appearance[0]->enable();
  h().appearance[1]->enable();
  app.appearance[0].brightness = 0;
  app.sync_live_all();

  EXPECT_TRUE(panel.activate(*h().lighting[0], 0));
  EXPECT_EQ(app.appearance[0].lighting, 0);
  EXPECT_FALSE(h().brightness[0]->enabled);
  EXPECT_TRUE(h().brightness[1]->enabled);  // the other mesh's is untouched

  EXPECT_TRUE(panel.activate(*h().lighting[0], 1));
  EXPECT_TRUE(h().brightness[0]->enabled);
  EXPECT_EQ(app.appearance[0].brightness, 0);
  EXPECT_EQ(h().brightness[0]->shown_int, 0);

  EXPECT_TRUE(panel.activate(*h().lighting[1], 0));  // "Luz" of mesh 2 has id 1
  EXPECT_FALSE(h().brightness[1]->enabled);
  EXPECT_TRUE(h().brightness[0]->enabled);
}

TEST_F(CallbacksTest, QuitAnsweredNoAsksOnceAndChangesNothing) {
  scripted.answers = {"no"};
  app.view_options->views_mode = 1;
  ASSERT_TRUE(panel.activate(*h().quit));
  ASSERT_EQ(scripted.calls.size(), 1u);
  EXPECT_EQ(scripted.calls[0].kind, "ask_yes_no");
  EXPECT_EQ(scripted.calls[0].title, "Salir");
  // Windows-1252: the question opens with the inverted question mark 0xBF.
  EXPECT_EQ(scripted.calls[0].text,
            "\xBF" "Desea salir del programa? El alineamiento puede ser interrumpido");
  EXPECT_EQ(app.view_options->views_mode, 1);
}

TEST_F(CallbacksTest, QuitAnsweredYesEndsWithStatusZero) {
  scripted.answers = {"yes"};
  EXPECT_EXIT(panel.activate(*h().quit), ::testing::ExitedWithCode(0), "");
}

}  // namespace
