// Panel layout pictures: the controls found by colour, their edges, labels and the picture's own
// size.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/widgets/pickers_local.h"
#include "engine/widgets/widgets.h"

namespace engine::widgets {
namespace {

struct Picture {
  Picture(int w, int h, int p = 0) : width(w), height(h), pitch(p == 0 ? w : p), pixels(static_cast<size_t>(pitch) * h) {}
  void Fill(int left, int top, int right, int bottom, uint8_t colour) {
    for (int y = top; y <= bottom; ++y) {
      for (int x = left; x <= right; ++x) pixels[static_cast<size_t>(y) * pitch + x] = colour;
    }
  }
  std::vector<LayoutControl> Scan() const { return ScanLayout(pixels.data(), width, height, pitch); }
  int width, height, pitch;
  std::vector<uint8_t> pixels;
};

TEST(LayoutTest, OneControlOfEachColourGivesItsRectangleAndLabel) {
  Picture picture(640, 480);
  picture.Fill(10, 10, 89, 29, 32);
  picture.Fill(100, 10, 179, 29, 218);
  picture.Fill(300, 50, 399, 69, 7);
  picture.Fill(300, 100, 399, 119, 248);
  picture.Fill(300, 150, 399, 169, 7);
  const std::vector<LayoutControl> controls = picture.Scan();
  ASSERT_EQ(controls.size(), 5u);
  const int expected[5][5] = {{10, 10, 89, 29, 32},
                              {100, 10, 179, 29, 218},
                              {300, 50, 399, 69, 7},
                              {300, 100, 399, 119, 248},
                              {300, 150, 399, 169, 7}};
  for (size_t i = 0; i < controls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(controls[i].left, expected[i][0]);
    EXPECT_EQ(controls[i].top, expected[i][1]);
    EXPECT_EQ(controls[i].right, expected[i][2]);
    EXPECT_EQ(controls[i].bottom, expected[i][3]);
    EXPECT_EQ(controls[i].colour, expected[i][4]);
  }
  EXPECT_EQ(controls[0].label, "");
  EXPECT_EQ(controls[1].label, "");
  EXPECT_EQ(controls[2].label, "Position X");
  EXPECT_EQ(controls[3].label, "Name");
  EXPECT_EQ(controls[4].label, "Position Y");
}

TEST(LayoutTest, OrderIsByTopLeftCornerAndLabelsRunOutAfterTheList) {
  Picture picture(640, 480);
  // Sixteen text fields: the list has fifteen labels; five value fields for a list of four.
  for (int i = 0; i < 16; ++i) picture.Fill(20 + (i % 4) * 100, 20 + (i / 4) * 30, 99 + (i % 4) * 100, 39 + (i / 4) * 30, 7);
  for (int i = 0; i < 5; ++i) picture.Fill(20 + i * 100, 300, 99 + i * 100, 319, 248);
  const std::vector<LayoutControl> controls = picture.Scan();
  ASSERT_EQ(controls.size(), 21u);
  EXPECT_EQ(controls[3].label, "Rotation X");
  EXPECT_EQ(controls[4].label, "Rotation Y");
  EXPECT_EQ(controls[12].label, "Credits");
  EXPECT_EQ(controls[14].label, "Radius");
  EXPECT_EQ(controls[15].label, "");
  EXPECT_EQ(controls[16].label, "Name");
  EXPECT_EQ(controls[19].label, "Brain");
  EXPECT_EQ(controls[20].label, "");
  for (size_t i = 1; i < controls.size(); ++i) {
    EXPECT_TRUE(controls[i - 1].top < controls[i].top ||
                (controls[i - 1].top == controls[i].top && controls[i - 1].left < controls[i].left));
  }
}

TEST(LayoutTest, EdgesAreExactAtTheWalksLookAheadAndOtherColoursMakeNothing) {
  Picture picture(200, 100);
  // One, two and three pixels wide and high: below, at and past the two-pixel look ahead.
  picture.Fill(10, 10, 10, 10, 32);
  picture.Fill(20, 10, 21, 11, 32);
  picture.Fill(30, 10, 32, 12, 32);
  // One pixel apart: two controls, the first ending before the gap.
  picture.Fill(100, 10, 119, 19, 218);
  picture.Fill(121, 10, 139, 19, 218);
  // Not a control colour.
  picture.Fill(100, 60, 150, 80, 9);
  const std::vector<LayoutControl> controls = picture.Scan();
  ASSERT_EQ(controls.size(), 5u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(controls[i].right - controls[i].left, i);
    EXPECT_EQ(controls[i].bottom - controls[i].top, i);
  }
  EXPECT_EQ(controls[3].right, 119);
  EXPECT_EQ(controls[3].bottom, 19);
  EXPECT_EQ(controls[4].left, 121);
  EXPECT_EQ(controls[4].right, 139);
}

TEST(LayoutTest, APictureOfAnotherSizeIsScannedWithinItsOwnSize) {
  // Controls touching the right and bottom edges of a small picture with padding in its rows:
  // the walks stop at the picture's edge, never in the padding or past the last row.
  Picture picture(33, 17, 40);
  for (int y = 0; y < 17; ++y) {
    for (int x = 33; x < 40; ++x) picture.pixels[static_cast<size_t>(y) * 40 + x] = 32;
  }
  picture.Fill(20, 5, 32, 16, 248);
  picture.Fill(0, 0, 4, 3, 7);
  const std::vector<LayoutControl> controls = picture.Scan();
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(controls[0].left, 0);
  EXPECT_EQ(controls[0].top, 0);
  EXPECT_EQ(controls[0].right, 4);
  EXPECT_EQ(controls[0].bottom, 3);
  EXPECT_EQ(controls[1].right, 32);
  EXPECT_EQ(controls[1].bottom, 16);
  EXPECT_TRUE(ScanLayout(nullptr, 10, 10, 10).empty());
  EXPECT_TRUE(ScanLayout(picture.pixels.data(), 40, 17, 33).empty());
}

}  // namespace
}  // namespace engine::widgets
