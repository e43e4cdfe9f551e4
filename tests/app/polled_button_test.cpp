// A quick click must reach a UI that polls the button once per frame.
#include <gtest/gtest.h>

#include <string>

#include "app/PolledButton.h"

namespace {

// Each case is a sequence of events: 'p' press, 'r' release, 'f' one frame.
// Per frame the expectation holds two digits: what start_frame and then
// end_frame return (1 true, 0 false).
TEST(PolledButton, EveryClickIsSeenDownThenUp) {
  struct Case {
    const char* name;
    const char* events;
    const char* frames;
  };
  const Case cases[] = {
      {"click between two frames: down, one more frame, up", "prff", "11 00"},
      {"slow click needs no extra frame", "fpfrf", "00 10 00"},
      {"new press cancels a held release", "prpff", "10 10"},
      {"stray release does nothing", "rf", "00"},
  };
  for (const Case& c : cases) {
    PolledButton b;
    std::string seen;
    for (const char* e = c.events; *e; ++e) {
      if (*e == 'p') b.press();
      if (*e == 'r') b.release();
      if (*e == 'f') {
        if (!seen.empty()) seen += ' ';
        seen += b.start_frame() ? '1' : '0';
        seen += b.end_frame() ? '1' : '0';
      }
    }
    EXPECT_EQ(seen, c.frames) << c.name;
  }
}

}  // namespace
