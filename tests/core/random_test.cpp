// The table-driven random source: cursor steps, table words, the loop counter and the range wrap.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "core/random.h"

namespace {

using core::RandomSource;

// The table as the arena holds it: the noise plus readable bytes after it.
std::vector<uint8_t> Table() { return std::vector<uint8_t>(core::kRandomTableBytes + 4, 0); }

TEST(Random, WrapAndEqualBounds) {
  EXPECT_EQ(core::Wrap(10, 0, 9), 0);
  EXPECT_EQ(core::Wrap(-1, 0, 9), 9);
  EXPECT_EQ(core::Wrap(-10, 0, 9), 0);
  EXPECT_EQ(core::Wrap(3, 9, 0), 0);          // an empty span gives the upper bound
  EXPECT_EQ(core::Wrap(INT32_MAX, -1, 1), 1);  // span arithmetic must not overflow
  std::vector<uint8_t> table = Table();
  RandomSource source{table.data(), 17, 3};
  EXPECT_EQ(source.Random(5, 5), 5);
  EXPECT_EQ(source.cursor, 17u);  // no table byte consumed
}

TEST(Random, StepsBeforeReadingAndAcceptsEitherOrder) {
  std::vector<uint8_t> table = Table();
  table[0] = 0xFF;  // never read
  table[1] = 0x0A;  // word at 1: 10 -> 5
  table[5] = 0x02;  // word at 2: 0x02000000 -> 16777216
  RandomSource source{table.data(), 0, 0};
  EXPECT_EQ(source.Random(99, 0), 5);
  EXPECT_EQ(source.Random(0, 99), 16);
  EXPECT_EQ(source.cursor, 2u);
  RandomSource negative{table.data(), 0, 0};
  EXPECT_EQ(negative.Random(-1, -10), -5);  // -10 + (15 mod 10)
}

TEST(Random, LoopCounterMixesInModulo32Bits) {
  std::vector<uint8_t> table = Table();
  RandomSource one{table.data(), 0, 1};
  EXPECT_EQ(one.Random(0, 999), 768);  // 65537 >> 1 = 32768
  RandomSource wrapped{table.data(), 0, 65536};  // 65536 x 65537 = 2^32 + 65536
  EXPECT_EQ(wrapped.Random(0, 999), 768);
  table[1] = table[2] = table[3] = table[4] = 0xFF;
  RandomSource all{table.data(), 0, 0};
  EXPECT_EQ(all.Random(INT32_MIN, INT32_MAX), INT32_MAX);  // unsigned shift, never negative
}

TEST(Random, CursorRestartsAfterTheLastPositionWhichReadsPastTheTable) {
  std::vector<uint8_t> table = Table();
  table[1997] = 0x06;
  table[2000] = 0x01;  // beyond the 2000 bytes, still part of the word at 1997
  table[1] = 0x0A;
  RandomSource source{table.data(), 1996, 0};
  EXPECT_EQ(source.Random(0, 9), 1);  // 0x01000006 >> 1 = 8388611
  EXPECT_EQ(source.Random(0, 9), 5);
  EXPECT_EQ(source.cursor, 1u);
}

}  // namespace
