// The large-array calls behave as the vector calls they stand for (whatever
// the advice did to the memory), and growing step by step stays linear.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/large_arrays.h"

TEST(LargeArrays, ActLikeTheVectorCallsAndGrowGeometrically) {
  const size_t big = size_t(3) << 20;  // 12 MiB of int32: whole large pages inside
  std::vector<int32_t> v = {7, 8, 9};
  reserve_large(v, big);
  ASSERT_GE(v.capacity(), big);
  EXPECT_EQ(v, (std::vector<int32_t>{7, 8, 9}));

  resize_large(v, big);
  EXPECT_EQ(v.size(), big);
  EXPECT_EQ(v[2], 9);
  EXPECT_EQ(v[big - 1], 0);
  // One more element than the capacity: at least twice the room, as resize gives.
  const size_t room = v.capacity();
  resize_large(v, room + 1);
  EXPECT_GE(v.capacity(), 2 * room);
  EXPECT_EQ(v[1], 8);

  for (size_t n : {size_t(5), big + 3, size_t(0)}) {
    assign_large(v, n, int32_t(-1));
    EXPECT_EQ(v, std::vector<int32_t>(n, -1)) << n;
  }
}
