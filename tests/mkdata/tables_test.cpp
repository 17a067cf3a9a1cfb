// The generated lookup tables: sizes and the values the motion and random instructions rely on.
#include <gtest/gtest.h>

#include "mkdata/mkdata.h"

namespace {

int32_t Word(const std::vector<uint8_t>& bytes, size_t index) {
  const size_t at = index * 4;
  return static_cast<int32_t>(uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
                              uint32_t{bytes[at + 3]} << 24);
}

int8_t Byte(const std::vector<uint8_t>& bytes, size_t offset) { return static_cast<int8_t>(bytes[offset]); }

TEST(Tables, SizesMatchTheBuffers) {
  EXPECT_EQ(mkdata::CoarseSineTable().size(), 115200u);
  EXPECT_EQ(mkdata::FineSineTable().size(), 14400u);
  EXPECT_EQ(mkdata::ArctangentTable().size(), 2880u);
  EXPECT_EQ(mkdata::RandomTable().size(), 2000u);
}

TEST(Tables, FineSineInEighthsOfADegree) {
  const auto table = mkdata::FineSineTable();
  EXPECT_EQ(Word(table, 0), 0);
  EXPECT_EQ(Word(table, 240), 16384);   // sin 30 degrees
  EXPECT_EQ(Word(table, 720), 32768);   // sin 90: also the cosine of entry 0
  EXPECT_EQ(Word(table, 1440), 0);      // sin 180, rounded from a tiny value
  EXPECT_EQ(Word(table, 2160), -32768); // sin 270
  EXPECT_EQ(Word(table, 3599), Word(table, 719));  // 449.875 degrees wraps onto 89.875
  EXPECT_EQ(Word(table, 360), 23170);   // 32768 / sqrt 2, rounded
}

TEST(Tables, ArctangentAscendsWithTheRatioScaledBy1024) {
  const auto table = mkdata::ArctangentTable();
  EXPECT_EQ(Word(table, 0), 0);
  EXPECT_EQ(Word(table, 360), 1024);    // tan 45
  EXPECT_EQ(Word(table, 240), 591);     // tan 30 = 0.57735
  for (size_t i = 1; i < 720; ++i) ASSERT_LT(Word(table, i - 1), Word(table, i)) << i;
  // The last entry stays below the 512000 that stands for a right angle.
  EXPECT_LT(Word(table, 719), 512000);
}

TEST(Tables, CoarseSineGivesThrustFactorsOf128) {
  const auto table = mkdata::CoarseSineTable();
  // Heading 0: no sideways push, full forward push.
  EXPECT_EQ(Byte(table, 0 * 256 + 1), 0);
  EXPECT_EQ(Byte(table, 0 * 256 + 23295), 127);
  // Heading 90: full push along -x (the x factor is -128 sin r, read at offset 1), none along z.
  EXPECT_EQ(Byte(table, 90 * 256 + 1), -127);
  EXPECT_EQ(Byte(table, 90 * 256 + 0), -128);
  EXPECT_EQ(Byte(table, 90 * 256 + 23295), 0);
  // Heading 45: both factors 127 * 0.7071, rounded.
  EXPECT_EQ(Byte(table, 45 * 256 + 1), -90);
  EXPECT_EQ(Byte(table, 45 * 256 + 23295), 90);
  // Heading 180 pushes backwards.
  EXPECT_EQ(Byte(table, 180 * 256 + 23295), -127);
  // Headings up to 359 read their z factor 90 rows further on, inside the 450 rows.
  EXPECT_LT(359u * 256 + 23295, table.size());
}

TEST(Tables, RandomTableIsFixedNoise) {
  const auto first = mkdata::RandomTable();
  EXPECT_EQ(first, mkdata::RandomTable());
  int histogram[256] = {};
  for (uint8_t b : first) ++histogram[b];
  int used = 0;
  for (int count : histogram) used += count > 0;
  EXPECT_GT(used, 200);  // spread over the byte range, not a constant or a short cycle
}

}  // namespace
