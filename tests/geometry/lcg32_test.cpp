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

  // The draw is the state times 2^-32 rounded once to float, also at ties
  // (low bits 0x80 above 2^24) and just beside them.
  for (uint64_t s = 0; s <= 0xFFFFFFFFull; s += 4093) {
    for (uint32_t low : {0x00u, 0x7Fu, 0x80u, 0x81u, 0x180u}) {
      g.state = uint32_t((((s & ~0xFFull) | low) - 1013904223u) * 4276115653u);
      const uint32_t next = uint32_t((s & ~0xFFull) | low);
      ASSERT_EQ(g.next_unit(), float(double(next) / 4294967296.0)) << next;
    }
    // Two steps at once land where two single steps do.
    ASSERT_EQ(Lcg32::two_steps(uint32_t(s)), Lcg32::step(Lcg32::step(uint32_t(s)))) << s;
  }
}
