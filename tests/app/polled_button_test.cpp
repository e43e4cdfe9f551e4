// A quick click must reach a UI that polls the button once per frame.
#include <gtest/gtest.h>

#include "app/PolledButton.h"

namespace {

TEST(PolledButton, ClickBetweenTwoFramesIsSeenAsDownThenUp) {
  PolledButton b;
  b.press();
  b.release();  // no frame in between
  EXPECT_TRUE(b.start_frame());   // the frame sees the press...
  EXPECT_TRUE(b.end_frame());     // ...and asks for one more frame
  EXPECT_FALSE(b.start_frame());  // which sees the release
  EXPECT_FALSE(b.end_frame());
}

TEST(PolledButton, SlowClickNeedsNoExtraFrame) {
  PolledButton b;
  EXPECT_FALSE(b.start_frame());
  b.press();
  EXPECT_TRUE(b.start_frame());
  EXPECT_FALSE(b.end_frame());
  b.release();  // a frame has seen the press: up at once
  EXPECT_FALSE(b.start_frame());
  EXPECT_FALSE(b.end_frame());
}

TEST(PolledButton, NewPressCancelsAHeldRelease) {
  PolledButton b;
  b.press();
  b.release();
  b.press();  // double click before any frame
  EXPECT_TRUE(b.start_frame());
  EXPECT_FALSE(b.end_frame());  // still down: the second press is not released
  EXPECT_TRUE(b.start_frame());
}

TEST(PolledButton, StrayReleaseDoesNothing) {
  PolledButton b;
  b.release();
  EXPECT_FALSE(b.start_frame());
  EXPECT_FALSE(b.end_frame());
}

}  // namespace
