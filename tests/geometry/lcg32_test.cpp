// The one generator type: its known sequence from state 0, and the float draw
// that can round up to exactly 1.0.
#include <gtest/gtest.h>

#include "geometry/Lcg32.h"

TEST(Lcg32, KnownSequenceAndFloatRoundingToOne) {
  Lcg32 g;
  EXPECT_EQ(g.next_unit(), float(1013904223.0 / 4294967296.0));
  EXPECT_EQ(g.state, 1013904223u);
  EXPECT_EQ(g.next(), 1196435762u);  // 1013904223 * 1664525 + 1013904223 mod 2^32
  // 4276115653 is the inverse of 1664525 mod 2^32: the next state is
  // 0xFFFFFFF0, just below 2^32, which rounds to 1.0 in float.
  g.state = uint32_t((0xFFFFFFF0u - 1013904223u) * 4276115653u);
  EXPECT_EQ(g.next_unit(), 1.0f);
}
