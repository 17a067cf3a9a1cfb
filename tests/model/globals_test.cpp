// Text form of the global variables: range folding, line endings, short texts, number reading.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <string>

#include "model/model.h"

namespace {

using Globals = std::array<int32_t, model::kGlobalCount>;

// Every global holds a value that tells which one it is, so a wrong index shows.
Globals Numbered() {
  Globals g{};
  for (int32_t i = 0; i < model::kGlobalCount; ++i) g[static_cast<size_t>(i)] = 1000 + i;
  return g;
}

TEST(GlobalsText, OneDecimalCrLfLinePerGlobalOfTheRange) {
  Globals g = Numbered();
  g[4] = -7;
  g[5] = INT32_MIN;
  g[6] = INT32_MAX;
  EXPECT_EQ(model::GlobalsText(g.data(), 3, 6), "1003\r\n-7\r\n-2147483648\r\n2147483647\r\n");
  EXPECT_EQ(model::GlobalsText(g.data(), 9, 9), "1009\r\n");
}

TEST(GlobalsText, BoundsFoldIntoTheTableAndNeverRunBackwards) {
  const Globals g = Numbered();
  EXPECT_EQ(model::GlobalsText(g.data(), 2049, -2045), "1001\r\n1002\r\n1003\r\n");  // 1 to 3
  EXPECT_EQ(model::GlobalsText(g.data(), -1, -1), "3047\r\n");                         // 2047
  EXPECT_EQ(model::GlobalsText(g.data(), INT32_MIN, INT32_MIN), "1000\r\n");           // low bits 0
  EXPECT_EQ(model::GlobalsText(g.data(), 5, 4), "");
  // 2048 folds to 0, which comes before 2047: nothing, not a wrap around the end.
  EXPECT_EQ(model::GlobalsText(g.data(), 2047, 2048), "");
  const std::string all = model::GlobalsText(g.data(), 0, 2047);
  EXPECT_EQ(all.substr(0, 12), "1000\r\n1001\r\n");
  EXPECT_EQ(all.substr(all.size() - 12), "3046\r\n3047\r\n");
  EXPECT_EQ(all.size(), 2048u * 6u);
}

TEST(ReadGlobalsText, CrLfAndBareLfLinesWithOrWithoutAFinalEnding) {
  Globals g = Numbered();
  EXPECT_EQ(model::ReadGlobalsText("11\r\n-22\n33", 100, 102, g.data()), 3);
  EXPECT_EQ(g[99], 1099);
  EXPECT_EQ(g[100], 11);
  EXPECT_EQ(g[101], -22);
  EXPECT_EQ(g[102], 33);
  EXPECT_EQ(g[103], 1103);
  // A blank line is a global read as 0, not a line to skip.
  EXPECT_EQ(model::ReadGlobalsText("1\r\n\r\n3\r\n", 0, 2, g.data()), 3);
  EXPECT_EQ(g[1], 0);
  EXPECT_EQ(g[2], 3);
}

TEST(ReadGlobalsText, ShortTextsLeaveTheRestAndLongOnesStopAtTheRange) {
  Globals g = Numbered();
  EXPECT_EQ(model::ReadGlobalsText("7\r\n8\r\n", 10, 14, g.data()), 2);
  EXPECT_EQ(g[10], 7);
  EXPECT_EQ(g[11], 8);
  EXPECT_EQ(g[12], 1012);  // no third line: unchanged, not cleared
  EXPECT_EQ(g[14], 1014);
  EXPECT_EQ(model::ReadGlobalsText("", 20, 30, g.data()), 0);
  EXPECT_EQ(g[20], 1020);
  EXPECT_EQ(model::ReadGlobalsText("1\r\n2\r\n3\r\n4\r\n", 40, 41, g.data()), 2);
  EXPECT_EQ(g[41], 2);
  EXPECT_EQ(g[42], 1042);
}

TEST(ReadGlobalsText, BoundsFoldLikeTheWriter) {
  Globals g = Numbered();
  EXPECT_EQ(model::ReadGlobalsText("5\r\n6\r\n7\r\n", 2049, -2045, g.data()), 3);
  EXPECT_EQ(g[0], 1000);
  EXPECT_EQ(g[1], 5);
  EXPECT_EQ(g[3], 7);
  EXPECT_EQ(g[4], 1004);
  EXPECT_EQ(model::ReadGlobalsText("9\r\n", -1, 2047, g.data()), 1);
  EXPECT_EQ(g[2047], 9);
  EXPECT_EQ(model::ReadGlobalsText("9\r\n", 6, 5, g.data()), 0);
  EXPECT_EQ(g[5], 1005);
  EXPECT_EQ(g[6], 1006);
  EXPECT_EQ(model::ReadGlobalsText("9\r\n", 2047, 2048, g.data()), 0);
  EXPECT_EQ(g[0], 1000);
}

TEST(ReadGlobalsText, LooseNumbersAndValuesPastThe32BitLimits) {
  Globals g = Numbered();
  const char* text =
      "abc\n"
      "12abc\n"
      "  +5\r\n"
      "0x10\n"
      "2147483648\n"
      "-2147483649\n"
      "99999999999999999999999\n"
      "-99999999999999999999999\n"
      "-0\n";
  ASSERT_EQ(model::ReadGlobalsText(text, 0, 8, g.data()), 9);
  EXPECT_EQ(g[0], 0);   // no number at all
  EXPECT_EQ(g[1], 12);  // the leading number counts
  EXPECT_EQ(g[2], 5);
  EXPECT_EQ(g[3], 0);   // decimal only
  EXPECT_EQ(g[4], INT32_MAX);  // held, not wrapped to INT32_MIN
  EXPECT_EQ(g[5], INT32_MIN);
  EXPECT_EQ(g[6], INT32_MAX);  // past even 64 bits
  EXPECT_EQ(g[7], INT32_MIN);
  EXPECT_EQ(g[8], 0);
}

TEST(GlobalsText, WholeTableRoundTrips) {
  Globals saved{};
  for (size_t i = 0; i < saved.size(); ++i) saved[i] = static_cast<int32_t>(i * 2654435761u);  // both signs
  saved[0] = INT32_MIN;
  saved[1] = INT32_MAX;
  saved[2047] = -1;
  const std::string text = model::GlobalsText(saved.data(), 0, 2047);
  Globals loaded{};
  EXPECT_EQ(model::ReadGlobalsText(text, 0, 2047, loaded.data()), 2048);
  EXPECT_EQ(loaded, saved);
  // The same lines read back into another range land there.
  Globals moved{};
  EXPECT_EQ(model::ReadGlobalsText(model::GlobalsText(saved.data(), 0, 1), 500, 501, moved.data()), 2);
  EXPECT_EQ(moved[500], INT32_MIN);
  EXPECT_EQ(moved[501], INT32_MAX);
}

}  // namespace
