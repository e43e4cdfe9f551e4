#include "app/panel_scale.h"

#include <gtest/gtest.h>

// A usable setting wins; otherwise the resolution over 96 in quarter steps,
// never below 1, so ordinary screens (and unknown ones) keep the design size.
TEST(PanelScale, SettingElseResolutionInQuarterSteps) {
  struct Case {
    const char* setting;
    double dpi;
    float scale;
  } cases[] = {
      {"1.5", 96.0, 1.5f},    {"0.5", 300.0, 0.5f}, {"4", 0.0, 4.0f},
      {"4.5", 192.0, 2.0f},   {"abc", 144.0, 1.5f}, {"2x", 96.0, 1.0f},
      {"", 120.0, 1.25f},     {nullptr, 0.0, 1.0f}, {nullptr, 100.0, 1.0f},
      {nullptr, 72.0, 1.0f},  {nullptr, 192.0, 2.0f}, {nullptr, 2000.0, 4.0f},
  };
  for (const Case& c : cases)
    EXPECT_EQ(choose_panel_scale(c.setting, c.dpi), c.scale)
        << (c.setting ? c.setting : "(unset)") << " at " << c.dpi << " dpi";
}
